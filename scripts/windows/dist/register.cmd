@echo off
rem Registers Morvel2.ocx of this folder, so that scripts, pages and programs
rem can create Morvel.PrintBarCode. Run it as an administrator; the 32-bit
rem control with the regsvr32 of its own architecture.
setlocal
set "regsvr=%SystemRoot%\System32\regsvr32.exe"
@X86@
"%regsvr%" /s "%~dp0Morvel2.ocx"
if errorlevel 1 (
  echo Morvel2.ocx could not be registered: run this as an administrator.
  exit /b 1
)
echo Morvel2.ocx is registered.
