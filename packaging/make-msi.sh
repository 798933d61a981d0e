#!/bin/sh
# make-msi.sh WXS ARCH VERSION OUT: builds the MSI from the WiX source that the build
# generates (run in the build tree, where its relative paths lead). The tests use it
# to build a later version of the same package.
set -eu
wixl -a "$2" -D Version="$3" -o "$4" "$1"
# wixl cannot mark a component permanent (16) or never overwritten (128): the
# settings file stays through upgrades and uninstalls, unless the uninstall's own
# action finds it unchanged.
msibuild "$4" -q "UPDATE Component SET Attributes = 144 WHERE Component = 'Settings'"
