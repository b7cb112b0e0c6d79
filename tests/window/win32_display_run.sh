#!/bin/sh
# Runs a Windows program under wine on a private virtual X display: wine
# cannot make windows without one, and the tests must not touch the
# developer's desktop. Needs xvfb-run (package xvfb).
exec xvfb-run -a -s "-screen 0 1024x768x24" wine "$@"
