@echo off
rem The end-to-end tests on this Windows machine: run.cmd [--dist FOLDER] [NAME...]
rem Needs Node.js 20 or later: node.exe on PATH, or ZUR_NODE naming it.
setlocal
rem cmd would look for node in the current folder before PATH.
set NoDefaultCurrentDirectoryInExePath=1
set "ZUR_RUN_NODE=%ZUR_NODE%"
if not defined ZUR_RUN_NODE set "ZUR_RUN_NODE=node"
"%ZUR_RUN_NODE%" "%~dp0run.mjs" %*
exit /b %ERRORLEVEL%
