@echo off
rem Starts Linoscope3 against the simulated PBX of this folder. Linoscope3.exe
rem started on its own always uses the TAPI of Windows; only this variable,
rem naming the simulator by its full path, makes it use another.
rem   Linoscope3-demo.cmd                          the built-in office
rem   Linoscope3-demo.cmd scenarios\busy-office.json   a scenario
setlocal
set "LINOSCOPE3_TAPI_DLL=%~dp0PbxSimulator.dll"
if not "%~1"=="" set "LINOSCOPE3_SCENARIO=%~f1"
cd /d "%~dp0"
start "" "%~dp0Linoscope3.exe"
