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
# Nor can it condition a component or search a key's default value. The search
# for the program that opens .otp files carries the file type's name where the
# value's name goes; the extension is taken only when it has no program, or ours.
progid=$(msiinfo export "$4" RegLocator | tr -d '\r' | awk -F'\t' '$1 == "OtpHandler" {print $4}')
msibuild "$4" -q "UPDATE RegLocator SET Name = '' WHERE Signature_ = 'OtpHandler'"
msibuild "$4" -q "UPDATE Component SET Condition = 'NOT OTP_HANDLER OR OTP_HANDLER ~= \"$progid\"'
    WHERE Component = 'OtpExtension'"
# Nor can it let a rebuilt package of the same version replace the installed one
# (1 = migrate features, 512 = the upper version bound included); without that
# both would stay installed over the same files.
# The attributes are part of the row's key, so the row is written anew.
code=$(msiinfo export "$4" Upgrade | tr -d '\r' | awk -F'\t' '$7 == "WIX_UPGRADE_DETECTED" {print $1}')
msibuild "$4" -q "DELETE FROM Upgrade WHERE ActionProperty = 'WIX_UPGRADE_DETECTED'"
msibuild "$4" -q "INSERT INTO Upgrade (UpgradeCode, VersionMax, Attributes, ActionProperty)
    VALUES ('$code', '$3', 513, 'WIX_UPGRADE_DETECTED')"
