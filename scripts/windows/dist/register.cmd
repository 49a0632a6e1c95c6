@echo off
rem Registers Morvel2.ocx of this folder, so that scripts, pages and programs
rem can create Morvel.PrintBarCode. Run it as an administrator; the 32-bit
rem control with the regsvr32 of its own architecture. regsvr32's exit
rem status tells the causes apart: 3 the file could not be loaded, 5 its
rem registration was refused (no administrator's rights), anything else
rem beyond 5 (cmd's 9009 among them) regsvr32 itself could not start.
setlocal
set "regsvr=%SystemRoot%\System32\regsvr32.exe"
set "bits=64-bit"
@X86@
"%regsvr%" /s "%~dp0Morvel2.ocx" 2>nul
set "status=%errorlevel%"
if "%status%"=="0" (
  echo Morvel2.ocx is registered.
  exit /b 0
)
if "%status%"=="5" (
  echo Morvel2.ocx could not be registered: access was denied; run this as an administrator.
  exit /b 1
)
if "%status%"=="3" (
  echo Morvel2.ocx could not be registered: the %bits% regsvr32 could not load it.
  exit /b 1
)
if %status% GTR 5 (
  echo Morvel2.ocx could not be registered: the %bits% regsvr32 could not start ^(exit %status%^); this Windows may not run %bits% programs.
  exit /b 1
)
echo Morvel2.ocx could not be registered: regsvr32 failed ^(exit %status%^).
exit /b 1
