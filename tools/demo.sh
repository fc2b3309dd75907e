#!/usr/bin/env bash
# The library's main job through the stand-in host: a sample document is
# signed as PKCS#7 with a test RSA key made here, verified by the library
# against a PAB directory that holds the signer's certificate, and checked
# with the openssl command line as well; then the same with a GOST
# R 34.10-2012 key and certificate made by GnuTLS's certtool, checked with
# certtool; and envelopes (GOST 28147-89 content encryption) for the RSA
# recipient and for both recipients together, the latter opened again by the
# library with the GOST key (only GOST keys develope).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build-demo -DCMAKE_BUILD_TYPE=RelWithDebInfo -DORVEL_BUILD_TESTS=OFF >/dev/null
cmake --build build-demo -j"$(nproc)" --target orvel-ssf-server ssfhost
host=./build-demo/tools/ssfhost
$host version

# Runs a check (the command after the message); on success prints the
# message, else stops the demo with it.
check() {
  local what=$1
  shift
  if "$@"; then
    echo "$what"
  else
    echo "demo: check failed: $what" >&2
    exit 1
  fi
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A self-signed test certificate and its key, and a configuration that
# traces into the work directory.
openssl req -x509 -newkey rsa:2048 -nodes -days 30 -subj "/C=RU/O=Orvel Demo/CN=Demo Signer" \
  -keyout "$work/key.pem" -out "$work/cert.pem" 2>/dev/null
printf '[common]\nlog_dir = %s\n' "$work" >"$work/orvel-ssf-server.cfg"
export DIR_LIBRARY=$work
printf 'Sample document signed by the demo.\n' >"$work/document.txt"

# Data crosses the interface as a PKCS#7 data ContentInfo.
$host encode --format PKCS7 --in "$work/document.txt" --out "$work/document.p7"
$host sign --format PKCS7 --hash SHA1 --inc-certs --in "$work/document.p7" --out "$work/signed.p7" \
  --signer "CN=Demo Signer, O=Orvel Demo, C=RU" \
  --profile "certfile=$work/cert.pem,keyfile=$work/key.pem"
openssl smime -verify -binary -inform DER -in "$work/signed.p7" -CAfile "$work/cert.pem" \
  -purpose any -out "$work/content.txt"
check "signed content matches the document" cmp "$work/document.txt" "$work/content.txt"

# Verification through the library: the PAB directory holds the trusted
# certificate; the signed content comes back as a PKCS#7 data ContentInfo.
mkdir "$work/pab"
cp "$work/cert.pem" "$work/pab/"
$host verify --format PKCS7 --signed "$work/signed.p7" --pab "$work/pab" --use-certs \
  --out "$work/verified.p7"
$host decode --format PKCS7 --in "$work/verified.p7" --out "$work/verified.txt"
check "verified content matches the document" cmp "$work/document.txt" "$work/verified.txt"

# An envelope for the RSA recipient found in the PAB directory by the
# beginning of its subject text (GOST 28147-89 content encryption); the
# openssl command line reads the recipient from it. Envelopes are opened
# with GOST keys only (below).
$host envelope --format PKCS7 --in "$work/document.p7" --out "$work/enveloped.p7" \
  --pab "$work/pab" --signer "CN=Demo Signer"
names_rsa_recipient() {
  openssl cms -cmsout -print -inform DER -in "$work/enveloped.p7" | grep "CN=Demo Signer" >/dev/null
}
check "the envelope names the RSA recipient" names_rsa_recipient

# The same with a GOST R 34.10-2012 (256-bit) key and certificate made by
# GnuTLS's certtool; the digest (GOST R 34.11-2012) follows the key type.
certtool --generate-privkey --key-type gost12-256 --outfile "$work/gost-key.pem" 2>/dev/null
printf 'cn = "Demo GOST Signer"\norganization = "Orvel Demo"\ncountry = RU\nserial = 7\nexpiration_days = 30\nca\ncert_signing_key\nsigning_key\n' \
  >"$work/gost.tmpl"
certtool --generate-self-signed --load-privkey "$work/gost-key.pem" --template "$work/gost.tmpl" \
  --outfile "$work/gost-cert.pem" 2>/dev/null
$host sign --format PKCS7 --hash SHA1 --inc-certs --in "$work/document.p7" \
  --out "$work/gost-signed.p7" --signer "CN=Demo GOST Signer, O=Orvel Demo, C=RU" \
  --profile "certfile=$work/gost-cert.pem,keyfile=$work/gost-key.pem"
certtool_verifies() {
  certtool --p7-verify --inder --infile "$work/gost-signed.p7" \
    --load-ca-certificate "$work/gost-cert.pem" >/dev/null
}
check "certtool accepts the GOST signature" certtool_verifies
mkdir "$work/gost-pab"
cp "$work/gost-cert.pem" "$work/gost-pab/"
$host verify --format PKCS7 --signed "$work/gost-signed.p7" --pab "$work/gost-pab" --use-certs \
  --out "$work/gost-verified.p7"
$host decode --format PKCS7 --in "$work/gost-verified.p7" --out "$work/gost-verified.txt"
check "GOST-verified content matches the document" \
  cmp "$work/document.txt" "$work/gost-verified.txt"

# An envelope for the GOST and the RSA recipient together (key transport
# with the GOST R 34.10-2012 key for the one, RSA for the other), opened by
# the library with the GOST key.
mkdir "$work/rcpt-pab"
cp "$work/gost-cert.pem" "$work/cert.pem" "$work/rcpt-pab/"
$host envelope --format PKCS7 --in "$work/document.p7" --out "$work/gost-enveloped.p7" \
  --pab "$work/rcpt-pab" --signer "CN=Demo GOST Signer" --signer "CN=Demo Signer"
$host develope --format PKCS7 --in "$work/gost-enveloped.p7" --out "$work/gost-developed.p7" \
  --signer "CN=Demo GOST Signer, O=Orvel Demo, C=RU" \
  --profile "certfile=$work/gost-cert.pem,keyfile=$work/gost-key.pem"
$host decode --format PKCS7 --in "$work/gost-developed.p7" --out "$work/gost-developed.txt"
check "GOST-developed content matches the document" \
  cmp "$work/document.txt" "$work/gost-developed.txt"
