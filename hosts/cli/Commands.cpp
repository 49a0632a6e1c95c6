// The table of the morvel command's subcommands: what each is called, takes
// and says of itself, and which builds have it.
#include "hosts/cli/Shell.h"

namespace morvel::cli {
namespace {

// A command of the Linux build only names no function in the Windows build,
// which does not compile it.
#ifdef _WIN32
#define MORVEL_LINUX_ONLY(entry) nullptr
#else
#define MORVEL_LINUX_ONLY(entry) entry
#endif

const char* const RunHelp =
    "Runs a call script against one PrintBarCode.\n\n"
    "One statement per line: a member name and its arguments separated by blanks, e.g.\n"
    "  SetPrint \"ZDesigner GK420t\"\n"
    "  PrintCode 10 50 12345678 128 1 50 1 3\n"
    "\"...\" is a string with the escapes \\\\ \\\" \\n \\r \\t \\xHH \\u{HEX}; a bare token is its text, converted "
    "to\n"
    "the parameter's type; @PATH is a picture file (relative to the script, at most 64 MiB). Lines starting\n"
    "with # are comments. Results print as 'Member: value', failures as 'Member: error N: description\n"
    "(line L: ...)'. FILE is - or missing: the script is standard input.\n"
    "After a PrintLabel whose label writes an RFID tag (OpRFID), one line a label: 'rfid: label N written\n"
    "EPC' when the printer read the tag back holding it, 'rfid: label N void' when it voided the label,\n"
    "'rfid: label N unknown' when it cannot say (a file:, a CUPS queue) or said nothing in time; why\n"
    "after a tab, or for a written tag whose TID the printer read (SATO) 'tid TID'. PrintLabel waits for\n"
    "a socket:// printer's answer, at most MORVEL_RFID_WAIT_MS (20000) for a label and\n"
    "MORVEL_RFID_RETRY_WAIT_MS (5000) for a try after a void; MORVEL_RFID_RESULTS=0 asks no printer\n"
    "(the label's bytes as before, every label unknown).\n\n"
    "Exit status: 0 all went well; 1 a call raised an error; 2 a line cannot be parsed (nothing runs);\n"
    "3 a label may not have reached its printer (a delivery failure, an unknown printer name, or\n"
    "characters the code page lacks printed as '?'), summed up in one line on standard error.\n";

const char* const PreviewHelp =
    "  JOB   a job file, or - for standard input\n"
    "  OUT   a .png file (one label), a .pdf file, a folder (made when it ends in /),\n"
    "        or a name to which -K.png is added; by default the pictures go beside JOB\n"
    "        as JOB-K.png (preview-K.png for standard input)\n"
    "  --format png: one picture a label (the default); pdf: one PDF of all labels at true size\n"
    "  --language the job's language, told from its first bytes unless given\n"
    "  --dpi the printer's resolution, 203 unless told\n"
    "  --width, --height the labels loaded, in mm, for a job that gives no label size: 4 x 6 inches\n"
    "        (101.6 x 152.4) unless told; a label is as long as its fields reach where that is longer\n";

const char* const ServeHelp =
    "Serves web pages on this machine over ws://127.0.0.1:PORT (default 8632) and [::1],\n"
    "to programs of this user only; it does not start when either address is taken\n"
    "(--ipv4-only: 127.0.0.1 alone).\n"
    "Pages may connect only from the origins allowed here or listed, one a line, in\n"
#ifdef _WIN32
    "  %APPDATA%\\Morvel\\allowed-origins, or in the machine's list that an administrator\n"
    "  manages: the value AllowedOrigins of HKLM\\Software\\Morvel (the control's too).\n"
#else
    "  $XDG_CONFIG_HOME/morvel/allowed-origins (~/.config/morvel/allowed-origins), or in\n"
    "  the machine's list, /etc/morvel/allowed-origins.\n"
#endif
    "Paths that pages name (DrawImageFromFile, LoadFile, SaveFile, SaveFile2) must lie\n"
    "inside an --allow-folder; with none, every such call is refused with error 70.\n"
    "--lease-wait: how long an OpenPort waits for a printer library another page holds\n"
    "(0 to 3600 s, default 30).\n"
    "--max-connections: pages connected at once (default 16); one more is answered 503.\n"
    "A page that leaves frees its place at once and its running print or preview is\n"
    "cancelled between pages; --max-left-running: while this many calls of pages that\n"
    "left still run (default 4), calls that draw, print or wait are refused (error 7).\n"
    "--refuse-printer-settings: a job a page passes through to its printer (Morvel.print\n"
    "in the printer's language, SendCmd) may hold no printer-configuration command:\n"
    "ZPL ^JU ~JR ~JB ^KP ^KN ^ND ^NS ^WI ~DY ~DU ^ID ~EG ^TO and the like, SBPL ESC PG,\n"
    "PC, LC, WT, BJ, CC, &S, *, TSPL INITIALPRINTER, DOWNLOAD F, MOVE, KILL, NET, the\n"
    "device's SET commands; such a job fails with error 70 naming the command (off by\n"
    "default; see the README for the whole list).\n";

const char* const StatusHelp =
    "  asks each printer (every installed one when none is named) for its state and prints\n"
    "  NAME<TAB>STATE<TAB>REASONS: STATE idle, processing, stopped or unknown; REASONS IPP keywords\n"
    "  (media-empty, cover-open, marker-supply-empty, paused, timed-out, ...) or none.\n"
    "  --json one JSON object a line, with the printer's raw answer. --timeout default 2000 ms.\n"
    "  Exit status: 0 every printer is ready, 4 one is not or did not answer, 2 a usage error.\n";

const char* const EmulateHelp =
    "  a virtual label printer: one raw TCP port a language, each connection one job, every label\n"
    "  pictured as JOBS/NNNNNN-K.png beside the job's bytes (NNNNNN.zpl, .sbpl, .tspl, .epl2) and its\n"
    "  record (NNNNNN.json); status queries are answered from the state set here or on the web page.\n"
    "  --zpl 9190, --sbpl 9191, --tspl 9192, --epl2 9193 unless told; 0 picks a free port, off leaves\n"
    "  the language out\n"
    "  --web PORT   a page of the labels as they come and switches for the state (off unless told)\n"
    "  --jobs DIR   where jobs are kept (default $XDG_STATE_HOME/morvel/emulate)\n"
    "  --listen     the address to listen on (default 127.0.0.1, this computer only)\n"
    "  --limit      the largest job kept, in bytes (default 67108864); beyond it a job is cut\n"
    "  --idle       seconds a connection may stay silent before it is ended (default 60)\n"
    "  --dpi        the printer's resolution (default 203)\n"
    "  --media      the labels loaded, WIDTHxHEIGHT in mm, for a job that gives no size (default\n"
    "               101.6x152.4, 4 x 6 in); zpl:, sbpl:, tspl: or epl2: before it for one port alone\n"
    "  --rfid       a roll of RFID tags under the labels (unique TIDs from --rfid-seed N, 1 unless\n"
    "               told): a label's tag operations (^RF, ESC IP0) are carried out, a tag that fails\n"
    "               voids its label and the next is tried as ^RS says; each tag is in the record\n"
    "  --rfid-fail 3,17   the tags at those places in the roll (from 1) fail\n"
    "  --rfid-fail-rate P P percent of the other tags fail, drawn from the seed\n"
    "The ports in use are printed as 'LANGUAGE ADDRESS:PORT' lines once all listen.\n";

const char* const PrintHelp =
    "  FILE   a PDF, PNG, JPEG, GIF or BMP document, or a ZPL, SBPL, Orx or EPL2 job; - is standard\n"
    "         input.\n"
    "         A job in the printer's own language is sent as it is; anything else is drawn at the\n"
    "         printer's resolution and sent as its own raster commands, a label a page.\n"
    "  -d     the printer, as 'morvel printers' names it; its labels' size is its width and height\n"
    "         in printers.conf (--width/--height in mm instead), else each page's own size\n"
    "  --fit (the default) the page scaled to the label keeping its aspect, centred; --actual 100%\n"
    "  --rotate auto turns a landscape page onto a portrait label (and back); or 0, 90, 180, 270\n"
    "  --crop auto (the default) prints the label part of a letter or A4 sheet; none the whole page\n"
    "  --pages 1-3,5,8-   --copies N\n"
    "  --output FILE writes the printer's bytes to FILE instead (-d, or --language and --dpi, tell\n"
    "         the printer), replacing it only when every document printed; --compression z64 (the\n"
    "         default) or ascii for ZPL pictures\n"
    "  --picture-dpi the resolution of pictures that record none and of other languages' jobs (203)\n"
    "A document prints whole or not at all; a request prints at most 10,000 labels (copies x pages).\n"
    "Exit status: 0 printed; 1 a document could not be printed (the message says what of it was\n"
    "sent: nothing, or the labels a printer took before it stopped); 2 a usage error.\n";

const char* const BatchHelp =
    "  TEMPLATE    a label job in the printer's language (ZPL, SBPL, Orx, EPL2) whose ${name}\n"
    "              placeholders take each label's fields; each value is escaped for its place\n"
    "              (\"$${\" for a literal \"${\")\n"
    "  DATA        CSV (a header row; RFC 4180 quotes), TSV or a JSON array of objects; - is\n"
    "              standard input (a run that cannot be resumed)\n"
    "  -d PRINTER  the printer (printers.conf); a socket:// ZPL printer confirms each label,\n"
    "              others are run in sent mode (the summary says so)\n"
    "  --journal FILE   the journal (DATA's name with .journal unless told); it must not exist\n"
    "  --resume FILE    go on with that journal's batch where it stopped\n"
    "  --uncertain ask|reprint|done   labels sent without the printer's word: asked (the run\n"
    "              stops and says so without a terminal), reprinted, or marked done\n"
    "  --format csv|tsv|json  --delimiter , ; tab | auto   the data's form, else by its name\n"
    "  --quantity-column NAME   the copies of each row (0-100000)\n"
    "  --serial-start N [--serial-step N] [--serial-width N] [--serial-per-row] [--serial-field NAME]\n"
    "              a serial number a label (or a row) in the field \"serial\"\n"
    "  --gtin GTIN | --gtin-column NAME  --prefix-length N [--epc-scheme S] [--epc-filter N]\n"
    "              [--epc-field NAME]   each label's EPC, (01)GTIN(21)SERIAL, in the field \"epc\"\n"
    "  --idle-wait MS   an idle printer's silence that leaves a label uncertain (10000)\n"
    "  --json      one JSON line an event, and the summary, on standard output\n"
    "One label is in flight at a time: each is journalled sent before it leaves and confirmed when\n"
    "the printer echoes it; a printer out of paper or paused is waited for. Ctrl+C stops after the\n"
    "label in flight (twice: at once).\n"
    "Exit status: 0 every label finished; 1 the run stopped (the message says how to resume);\n"
    "2 a usage error, or a template or data that cannot be used.\n";

const char* const EpcHelp =
    "  encode TAG-URI   the tag's EPC in hexadecimal, from its tag URI:\n"
    "                   urn:epc:tag:sgtin-96:3.0614141.812345.6789 -> 3074257BF7194E4000001A85\n"
    "  encode --scheme SCHEME [--filter N] [--prefix-length N] INPUT\n"
    "                   from a GS1 element string, (01)80614141123458(21)6789, which needs\n"
    "                   --prefix-length (the company prefix's digits, 6-12), or from a pure-identity\n"
    "                   URI, urn:epc:id:sgtin:0614141.812345.6789; --filter 0-7, 0 unless told.\n"
    "                   A \"+\" scheme needs no prefix length (omitted or 0) and takes an element\n"
    "                   string, a GS1 Digital Link URI or a pure-identity URI; AIs past its own\n"
    "                   go after the EPC as +AIDC data: (01)79521141123453(21)32a/b(17)220630\n"
    "  decode HEX       the tag URI, the pure-identity URI and the element string, one a line\n"
    "                   (a \"+\" scheme: its element string alone; it has no URIs)\n"
    "  - for TAG-URI, INPUT or HEX: one a line from standard input, a line out each (decode: the\n"
    "                   three forms separated by tabs); a refused line stops the list, its number told\n"
    "SCHEME: SGTIN-96, SGTIN-198, SSCC-96, SGLN-96, SGLN-195, GRAI-96, GRAI-170, GIAI-96, GIAI-202,\n"
    "GSRN-96, GSRNP-96, GDTI-96, GDTI-174, CPI-96, SGCN-96, GID-96, ITIP-110, ITIP-212; and the\n"
    "\"+\" schemes of TDS 2.x: SGTIN+, DSGTIN+, SSCC+, SGLN+, GRAI+, GIAI+, GSRN+, GSRNP+, GDTI+,\n"
    "CPI+, SGCN+, ITIP+.\n"
    "Input the EPC Tag Data Standard refuses: the rule it breaks on standard error, exit status 2.\n";

const Command Table[] = {
    {"printers", "", "list the installed printers (name, dpi, uri)",
     "  one line per installed printer: NAME<TAB>DPI<TAB>URI; the sections of printers.conf first,\n"
     "  then the CUPS queues ('morvel help' tells the settings)\n",
     PrintersMain},
    {"run", "[FILE|-]", "run a call script (standard input when FILE is - or missing)", RunHelp, RunMain},
    {"members", "[CLASS] [--markdown | --idl]", "list the members of PrintBarCode, PrintInfo, clsBase64",
     "  every member of CLASS (of every class when none is named): kind, parameters, result, what it does\n"
     "  --markdown   the member reference page, docs/members.md\n"
     "  --idl        the type library of the Windows control, as IDL\n",
     MembersMain},
    {"version", "", "print the control's version", "  the version of the control, as GetVer gives it\n", VersionMain},
    {"preview", "JOB [-o OUT] [--format png|pdf] [--language zpl|sbpl|orx|epl2] [--dpi N] [--width MM] [--height MM]",
     "PNG pictures (or one PDF) of a ZPL, SBPL, Orx or EPL2 job, one a label", PreviewHelp,
     MORVEL_LINUX_ONLY(PreviewMain), LinuxBuild},
    {"print",
     "[-d PRINTER] [--fit | --actual] [--rotate auto|0|90|180|270] [--crop auto|none] [--pages LIST] "
     "[--copies N] [--width MM] [--height MM] [--output FILE] [--language zpl|sbpl|orx|epl2] [--dpi N] "
     "[--picture-dpi N] [--compression z64|ascii] FILE...",
     "print documents (PDF, pictures, other brands' jobs) on a label printer", PrintHelp, MORVEL_LINUX_ONLY(PrintMain),
     LinuxBuild},
    {"serve",
     "[--port N] [--allow-origin ORIGIN]... [--allow-folder DIR]... [--max-connections N] [--max-objects N] "
     "[--max-message BYTES] [--lease-wait SECONDS] [--max-left-running N] [--refuse-printer-settings] "
     "[--ipv4-only]",
     "serve web pages on this computer", ServeHelp, ServeMain},
    {"status", "[NAME...] [--json] [--timeout MS]", "the printers' real state: NAME, STATE, REASONS a line", StatusHelp,
     StatusMain},
    {"emulate",
     "[--zpl PORT] [--sbpl PORT] [--tspl PORT] [--epl2 PORT] [--web PORT] [--jobs DIR] [--dpi N] [--listen ADDR] "
     "[--limit BYTES] [--idle SECONDS] [--media [LANG:]WxH]... [--paused] [--paper-out] [--head-open] [--ribbon-out] "
     "[--paper-out-after N] [--rfid [--rfid-seed N] [--rfid-fail PLACES] [--rfid-fail-rate PERCENT]]",
     "a virtual label printer on this computer", EmulateHelp, MORVEL_LINUX_ONLY(EmulateMain), LinuxBuild},
    {"batch",
     "TEMPLATE DATA -d PRINTER [--journal FILE] [--quantity-column NAME] [--serial-start N ...] [--gtin GTIN ...] "
     "[--json] | --resume JOURNAL [--uncertain ask|reprint|done]",
     "labels from a template and a data file, each one confirmed, journalled to resume", BatchHelp,
     MORVEL_LINUX_ONLY(BatchMain), LinuxBuild},
    {"epc", "encode TAG-URI | encode --scheme SCHEME [--filter N] [--prefix-length N] INPUT | decode HEX",
     "EPC numbers of RFID tags: encode to hexadecimal, decode from it", EpcHelp, EpcMain},
    {"help", "[COMMAND]", "this text, or a command's help ('help run': the script syntax)",
     "  the commands and the settings, or what COMMAND takes (as 'morvel COMMAND --help')\n", HelpMain},
};

}  // namespace

std::span<const Command> AllCommands() { return Table; }

}  // namespace morvel::cli
