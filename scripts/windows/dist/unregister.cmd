@echo off
rem Removes the registration of Morvel2.ocx of this folder: Morvel.PrintBarCode
rem can no longer be created. Run it as an administrator; the 32-bit
rem control with the regsvr32 of its own architecture.
setlocal
set "regsvr=%SystemRoot%\System32\regsvr32.exe"
@X86@
"%regsvr%" /s /u "%~dp0Morvel2.ocx"
if errorlevel 1 (
  echo Morvel2.ocx could not be unregistered: run this as an administrator.
  exit /b 1
)
echo Morvel2.ocx is no longer registered.
