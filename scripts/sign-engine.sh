#!/usr/bin/env bash
# Signs the engine component (Authenticode, SHA-256) with a self-signed "Vantor" code-signing
# certificate made on first use and kept in the build folder.
#
#   scripts/sign-engine.sh <Brevian.dll> <certificate folder>
#
# The folder then holds vantor-codesign.pem / .der (the certificate an install step adds to the
# trusted root store) and vantor-codesign.key (the private key: build folder only, never committed).
# The certificate is kept across builds so an installed trust stays valid; delete the folder to
# make a new one.
set -euo pipefail

if [ $# -ne 2 ]; then
    echo "usage: $0 <dll> <certificate folder>" >&2
    exit 2
fi
dll=$1
dir=$2
key=$dir/vantor-codesign.key
cert=$dir/vantor-codesign.pem
der=$dir/vantor-codesign.der

mkdir -p "$dir"
if [ ! -s "$key" ] || [ ! -s "$cert" ]; then
    umask 077
    openssl req -x509 -newkey rsa:2048 -sha256 -days 3650 -nodes -keyout "$key.tmp" -out "$cert.tmp" \
        -subj "/CN=Vantor/O=Vantor" \
        -addext "keyUsage=critical,digitalSignature" \
        -addext "extendedKeyUsage=codeSigning" \
        -addext "basicConstraints=critical,CA:FALSE" 2>/dev/null
    mv "$key.tmp" "$key"
    mv "$cert.tmp" "$cert"
    umask 022
fi
openssl x509 -in "$cert" -outform DER -out "$der"

signed=$dll.signed.tmp
rm -f "$signed"
# A DLL relinked since its last signing carries no signature; one signed already is re-signed
# from scratch rather than given a second signature.
if osslsigncode extract-signature -in "$dll" -out "$signed.sig" >/dev/null 2>&1; then
    osslsigncode remove-signature -in "$dll" -out "$signed.unsigned" >/dev/null
    mv "$signed.unsigned" "$dll"
fi
rm -f "$signed.sig"
osslsigncode sign -certs "$cert" -key "$key" -h sha256 -n "Brevian engine" -in "$dll" -out "$signed" >/dev/null
mv "$signed" "$dll"
echo "signed $dll with $cert"
