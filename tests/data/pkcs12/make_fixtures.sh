#!/usr/bin/env bash
# Makes the PKCS#12 test files with independent tools: the openssl command
# line (classic MAC; AES and legacy RC2/3DES bags) and GnuTLS certtool (GOST
# keys, certificates and PKCS#12 files with the TC26 MAC over
# GOST R 34.11-2012). Run from this directory; the outputs are committed.
set -euo pipefail
cd "$(dirname "$0")"
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

# An EC CA and a user certificate signed by it.
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$tmp/ca.key"
openssl req -x509 -new -key "$tmp/ca.key" -subj "/CN=Test CA" -days 36500 \
  -config /dev/null -out ca.pem
openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$tmp/user.key"
openssl req -new -key "$tmp/user.key" -subj "/CN=Test User" -config /dev/null -out "$tmp/user.csr"
openssl x509 -req -in "$tmp/user.csr" -CA ca.pem -CAkey "$tmp/ca.key" -set_serial 2 \
  -days 36500 -out user.pem
cp "$tmp/user.key" user.key

pass='Pässwort-1'
openssl pkcs12 -export -inkey user.key -in user.pem -certfile ca.pem -name user \
  -passout "pass:$pass" -out aes_sha256.p12
openssl pkcs12 -export -legacy -inkey user.key -in user.pem -certfile ca.pem -name user \
  -passout "pass:$pass" -out legacy_sha1.p12
openssl pkcs12 -export -inkey user.key -in user.pem -macalg sha512 -iter 1000 \
  -passout "pass:$pass" -out aes_sha512.p12
openssl pkcs12 -export -inkey user.key -in user.pem -passout pass: -out empty_pass.p12
openssl pkcs12 -export -inkey user.key -in user.pem -nomac -passout "pass:$pass" -out no_mac.p12

# GOST R 34.10-2012 key and self-signed certificate.
certtool --generate-privkey --key-type gost12-256 --outfile "$tmp/gost.key"
cat > "$tmp/gost.tmpl" <<'T'
cn = "GOST Test"
serial = 7
expiration_days = 36500
signing_key
T
certtool --generate-self-signed --load-privkey "$tmp/gost.key" --template "$tmp/gost.tmpl" \
  --outfile gost2012_256.pem
gpass='пароль-GOST'
certtool --to-p12 --load-privkey "$tmp/gost.key" --load-certificate gost2012_256.pem \
  --pkcs-cipher gost28147-tc26z --hash streebog-256 --password "$gpass" --p12-name gost \
  --outder --outfile gost_streebog256.p12
certtool --to-p12 --load-privkey "$tmp/gost.key" --load-certificate gost2012_256.pem \
  --pkcs-cipher gost28147-tc26z --hash streebog-512 --password "$gpass" --p12-name gost \
  --outder --outfile gost_streebog512.p12
