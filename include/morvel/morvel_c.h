/* Morvel for C and for every language that binds C: opaque objects and one
 * generic call over the automation table, so that whatever member the
 * control has, this interface reaches it under its own name.
 *
 *   morvel_object *pb;
 *   morvel_create("Morvel.PrintBarCode", &pb);
 *   morvel_value args[] = {morvel_string("ZDesigner GK420t")}, rc;
 *   if (morvel_invoke(pb, "SetPrint", args, 1, &rc) != 0)
 *     fprintf(stderr, "%s\n", morvel_last_error()->description);
 *   morvel_release(pb);
 *
 * Every function returns 0 or a negative MORVEL_E_... code; the automation
 * error of the last failed call on the calling thread is morvel_last_error().
 * Strings are UTF-8. Strings, byte arrays and lists the library hands out are
 * the caller's, freed with morvel_free (or morvel_value_clear for a value).
 * <morvel/morvel_members.h> adds one typed function per member. */
#ifndef MORVEL_MORVEL_C_H
#define MORVEL_MORVEL_C_H

#include <stddef.h>
#include <stdint.h>

#if defined(__GNUC__) && !defined(_WIN32)
#define MORVEL_C_API __attribute__((visibility("default")))
#else
#define MORVEL_C_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* A PrintBarCode, clsBase64 or PrintInfo object. */
typedef struct morvel_object morvel_object;
/* A decoded image for DrawImageFromPicture. */
typedef struct morvel_picture morvel_picture;

enum {
  MORVEL_OK = 0,
  MORVEL_E_AUTOMATION = -1, /* the call raised: morvel_last_error() says what */
  MORVEL_E_ARGUMENT = -2,   /* a null handle or pointer, or a value of no known type */
  MORVEL_E_MEMORY = -3      /* out of memory */
};

typedef enum morvel_type {
  MORVEL_EMPTY = 0,
  MORVEL_INTEGER = 1, /* Integer, Long */
  MORVEL_DOUBLE = 2,  /* Single, Double, Currency */
  MORVEL_BOOLEAN = 3,
  MORVEL_STRING = 4, /* UTF-8 */
  MORVEL_BYTES = 5,  /* data NULL: an array never sized; otherwise size bytes from index 0 */
  MORVEL_PICTURE = 6,
  MORVEL_OBJECT = 7,
  MORVEL_STRINGS = 8 /* a list of UTF-8 texts (PrintInfo.PrintXH) */
} morvel_type;

/* Value flags. */
enum {
  /* Set by the caller on an argument that is a variable: after the call it
   * holds what the member left in its by-reference parameter, in the
   * parameter's own type. Arguments without it are never changed. */
  MORVEL_REF = 1u,
  /* Set by the library on a value whose text, bytes or list it allocated;
   * morvel_value_clear frees them, and a later write-back into the value
   * frees them first. */
  MORVEL_OWNED = 2u
};

typedef struct morvel_value {
  int32_t type;   /* morvel_type */
  uint32_t flags; /* MORVEL_REF, MORVEL_OWNED */
  union {
    int64_t integer;
    double number;
    int32_t boolean; /* 0 False, anything else True */
    struct {
      const char* data; /* NUL-terminated when the library made it */
      size_t size;      /* bytes, without the NUL */
    } string;
    struct {
      const uint8_t* data;
      size_t size;
    } bytes;
    morvel_picture* picture;
    morvel_object* object;
    struct {
      const char* const* items; /* each NUL-terminated */
      size_t count;
    } strings;
  } u;
} morvel_value;

typedef struct morvel_error {
  int32_t number;          /* automation run-time error number, 0 when no call failed yet */
  uint32_t hresult;        /* 0x800A0000 + number */
  const char* description; /* UTF-8; valid until the next failure on this thread */
} morvel_error;

typedef struct morvel_printer {
  const char* name; /* exactly as configured */
  int32_t dpi;
  const char* uri; /* socket://, cups:, file: */
} morvel_printer;

/* A modal message box of the control (caption, text). Called on the thread
 * of the call that shows it. */
typedef void (*morvel_message_fn)(void* user, const char* caption, const char* text);
/* An event of an object (clsBase64.EncodeJD with its Percentage). Every
 * argument is by reference: the value the handler leaves in args[i] is what
 * the object reads back. */
typedef void (*morvel_event_fn)(void* user, morvel_object* object, const char* event, morvel_value* args, size_t nargs);

/* The library's version: MORVEL_VERSION of <morvel/version.h>, as
 * `morvel version` prints it. */
MORVEL_C_API const char* morvel_version(void);

/* Makes an object of a class: "Morvel.PrintBarCode" or "PrintBarCode",
 * "clsBase64", "PrintInfo" (case is not significant). Error 429 for a class
 * the library does not have. */
MORVEL_C_API int morvel_create(const char* class_name, morvel_object** object);
/* Ends an object; closes a printer port it left open. NULL is ignored. */
MORVEL_C_API void morvel_release(morvel_object* object);
/* The class name of an object ("PrintBarCode"), NULL for NULL. */
MORVEL_C_API const char* morvel_class_name(const morvel_object* object);

/* Calls a member by name (case is not significant). Arguments are coerced to
 * the parameter types as automation does (13 for text that is no number, 6
 * on overflow, 450 for a wrong count, 438 for an unknown member); those
 * marked MORVEL_REF receive the by-reference write-back. `result` (may be
 * NULL) receives the member's result, MORVEL_EMPTY for none; on failure it
 * is left empty. For PrintInfo, a property name with one argument assigns
 * it. */
MORVEL_C_API int morvel_invoke(morvel_object* object, const char* member, morvel_value* args, size_t nargs,
                               morvel_value* result);
/* The dispatch id of a member, and the call by that id: the same call
 * without the name lookup, for hosts that call one member very often. */
MORVEL_C_API int morvel_member_id(const morvel_object* object, const char* member, int32_t* dispid);
MORVEL_C_API int morvel_invoke_id(morvel_object* object, int32_t dispid, morvel_value* args, size_t nargs,
                                  morvel_value* result);

/* The error of the last failed call on this thread. Never NULL. */
MORVEL_C_API const morvel_error* morvel_last_error(void);

/* Frees what the library handed out. NULL is ignored. */
MORVEL_C_API void morvel_free(void* memory);
/* Frees an owned value's data and makes it MORVEL_EMPTY (flags kept but
 * MORVEL_OWNED). */
MORVEL_C_API void morvel_value_clear(morvel_value* value);

/* Message boxes of every object go to `handler` (NULL: back to standard
 * error as "[caption] text"). */
MORVEL_C_API int morvel_set_message_handler(morvel_message_fn handler, void* user);
/* Events of one object go to `handler` (NULL: none). Error 438 for an
 * object whose class raises no events. */
MORVEL_C_API int morvel_set_event_handler(morvel_object* object, morvel_event_fn handler, void* user);

/* The installed printers, in system order: one block, freed with morvel_free. */
MORVEL_C_API int morvel_printers(morvel_printer** printers, size_t* count);

/* Pictures: an image file or its bytes (BMP, PNG, JPEG, GIF), error 481 for
 * bytes that are no image. */
MORVEL_C_API int morvel_picture_load(const char* path, morvel_picture** picture);
MORVEL_C_API int morvel_picture_decode(const void* data, size_t size, morvel_picture** picture);
MORVEL_C_API int morvel_picture_size(const morvel_picture* picture, int32_t* width, int32_t* height);
MORVEL_C_API void morvel_picture_release(morvel_picture* picture);

/* Prints a document on the installed printer `printer`: a PDF, PNG, JPEG,
 * GIF or BMP, or a ZPL, SBPL, Orx or EPL2 job (sent as it is to a printer of its
 * language, drawn and sent as the printer's raster commands otherwise).
 * `options` (NULL for none) are words as `morvel print` takes them, blank
 * separated: "fit" or "actual", "rotate=auto|0|90|180|270", "crop=auto|none",
 * "pages=1-3,5", "copies=N", "width=MM", "height=MM", "picture_dpi=N",
 * "compression=z64|ascii". `pages` (may be NULL) receives the pages sent.
 * A document prints whole or not at all. Error 5 with the cause and what
 * was sent ("...; nothing sent", or the labels a printer took before it
 * stopped) for a document that cannot be printed; for options it does not
 * take or more than 10,000 labels (copies x pages) MORVEL_E_ARGUMENT; error 48 when
 * libmorvel_print.so, which draws documents, cannot be loaded. */
MORVEL_C_API int morvel_print_document(const char* printer, const void* document, size_t size, const char* options,
                                       int32_t* pages);

/* EPC numbers of RFID tags by the GS1 EPC Tag Data Standard. With `scheme`
 * NULL, `input` is a tag URI ("urn:epc:tag:sgtin-96:3.0614141.812345.6789")
 * and `filter` and `prefix_length` are not read; with a scheme ("SGTIN-96"),
 * `input` is a GS1 element string ("(01)80614141123458(21)6789", which
 * needs `prefix_length`, the company prefix's digits, 6-12) or a
 * pure-identity URI (which holds its own; pass 0), and `filter` is 0-7.
 * A "+" scheme of TDS 2.x ("SGTIN+") needs no `prefix_length` (pass 0) and
 * also takes a GS1 Digital Link URI; further AIs become its +AIDC data.
 * `hex` receives the EPC in upper-case hexadecimal, whole 16-bit words
 * ("3074257BF7194E4000001A85"), freed with morvel_free. Input the standard
 * refuses: MORVEL_E_ARGUMENT, and morvel_last_error() names the rule
 * (error 5, "SGTIN-96: serial ... is over 2^38-1 ..."). */
MORVEL_C_API int morvel_epc_encode(const char* input, const char* scheme, int filter, int prefix_length, char** hex);
/* The tag URI, pure-identity URI and GS1 element string of a hexadecimal
 * EPC (the element string empty for GID-96, which has none; the URIs
 * empty for a "+" scheme, which the standard gives none); each output
 * may be NULL, and each one given is freed with morvel_free. Refused as
 * morvel_epc_encode refuses. */
MORVEL_C_API int morvel_epc_decode(const char* hex, char** tag_uri, char** pure_identity, char** element_string);

/* What became of the RFID tag of a label a PrintBarCode printed, on the
 * printer's word: after each label that writes a tag (OpRFID), PrintLabel
 * asks a printer that can answer (a socket:// one) to read the tag back and
 * waits for its answer, within MORVEL_RFID_WAIT_MS (20,000) for the first
 * and MORVEL_RFID_RETRY_WAIT_MS (5,000) after a voided try. */
enum {
  MORVEL_TAG_WRITTEN = 0, /* read back holding what was asked: `epc` is what it holds */
  MORVEL_TAG_VOID = 1,    /* the printer voided the label; `reason` says how */
  MORVEL_TAG_UNKNOWN = 2  /* the printer cannot say (file:, CUPS) or said nothing in time */
};
typedef struct morvel_tag_result {
  uint32_t label;     /* the object's labels that write a tag, from 1, each copy one */
  int32_t state;      /* MORVEL_TAG_... */
  uint32_t tries;     /* labels the printer used: the voided ones and the written one; 0: not told (SATO) */
  const char* epc;    /* hexadecimal as the printer read it back; "" unless written */
  const char* tid;    /* the tag's TID in hexadecimal when the printer read it (SATO); else "" */
  const char* reason; /* why it is void or unknown; "" when written */
} morvel_tag_result;
/* The results of the labels `printbarcode` printed since the last call, in
 * order, as one block freed with morvel_free (NULL with *count 0 when there
 * are none). MORVEL_E_ARGUMENT for an object that is no PrintBarCode. */
MORVEL_C_API int morvel_tag_results(morvel_object* printbarcode, morvel_tag_result** results, size_t* count);

#ifdef __cplusplus
#define MORVEL_VALUE_ZERO_ \
  {}
#else
#define MORVEL_VALUE_ZERO_ \
  { 0 }
#endif

/* Values for arguments. Texts and bytes stay the caller's: the library
 * copies them during the call. */
static inline morvel_value morvel_empty(void) {
  morvel_value v = MORVEL_VALUE_ZERO_;
  return v;
}
static inline morvel_value morvel_integer(int64_t value) {
  morvel_value v = MORVEL_VALUE_ZERO_;
  v.type = MORVEL_INTEGER;
  v.u.integer = value;
  return v;
}
static inline morvel_value morvel_double(double value) {
  morvel_value v = MORVEL_VALUE_ZERO_;
  v.type = MORVEL_DOUBLE;
  v.u.number = value;
  return v;
}
static inline morvel_value morvel_boolean(int value) {
  morvel_value v = MORVEL_VALUE_ZERO_;
  v.type = MORVEL_BOOLEAN;
  v.u.boolean = value != 0;
  return v;
}
static inline morvel_value morvel_string_n(const char* text, size_t size) {
  morvel_value v = MORVEL_VALUE_ZERO_;
  v.type = MORVEL_STRING;
  v.u.string.data = text;
  v.u.string.size = size;
  return v;
}
static inline morvel_value morvel_string(const char* text) {
  size_t n = 0;
  if (text != NULL)
    while (text[n] != '\0') ++n;
  return morvel_string_n(text, n);
}
static inline morvel_value morvel_bytes(const void* data, size_t size) {
  morvel_value v = MORVEL_VALUE_ZERO_;
  v.type = MORVEL_BYTES;
  v.u.bytes.data = (const uint8_t*)data;
  v.u.bytes.size = size;
  return v;
}
static inline morvel_value morvel_picture_value(morvel_picture* picture) {
  morvel_value v = MORVEL_VALUE_ZERO_;
  v.type = MORVEL_PICTURE;
  v.u.picture = picture;
  return v;
}
static inline morvel_value morvel_strings(const char* const* items, size_t count) {
  morvel_value v = MORVEL_VALUE_ZERO_;
  v.type = MORVEL_STRINGS;
  v.u.strings.items = items;
  v.u.strings.count = count;
  return v;
}
/* The same value marked as a variable that receives the write-back. */
static inline morvel_value morvel_ref(morvel_value value) {
  value.flags |= MORVEL_REF;
  return value;
}

#ifdef __cplusplus
}
#endif

#endif
