@echo off
rem Removes the registration of Morvel2.ocx of this folder: Morvel.PrintBarCode
rem can no longer be created. Run it as an administrator; the 32-bit
rem control with the regsvr32 of its own architecture (exit statuses as in
rem register.cmd).
setlocal
set "regsvr=%SystemRoot%\System32\regsvr32.exe"
set "bits=64-bit"
@X86@
"%regsvr%" /s /u "%~dp0Morvel2.ocx" 2>nul
set "status=%errorlevel%"
if "%status%"=="0" (
  echo Morvel2.ocx is no longer registered.
  exit /b 0
)
if "%status%"=="5" (
  echo Morvel2.ocx could not be unregistered: access was denied; run this as an administrator.
  exit /b 1
)
if "%status%"=="3" (
  echo Morvel2.ocx could not be unregistered: the %bits% regsvr32 could not load it.
  exit /b 1
)
if %status% GTR 5 (
  echo Morvel2.ocx could not be unregistered: the %bits% regsvr32 could not start ^(exit %status%^); this Windows may not run %bits% programs.
  exit /b 1
)
echo Morvel2.ocx could not be unregistered: regsvr32 failed ^(exit %status%^).
exit /b 1
