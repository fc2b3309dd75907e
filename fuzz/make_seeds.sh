#!/usr/bin/env bash
# Makes the fixtures and the seed inputs of the fuzz targets, at build time,
# with the project's own host (signatures, envelopes, encodings) and the
# openssl and certtool command lines (keys, certificates, PKCS#12 files,
# OCSP answers, time-stamp tokens).
#
#   make_seeds.sh SSFHOST OUTDIR
#
# OUTDIR/fixtures holds keys, certificates, the PAB directory and the
# document; OUTDIR/seeds/<target> the seeds. A seed that starts with a
# selector byte (format, recipient, mode) is written by seed() below.
set -euo pipefail
host=$1
out=$2
rm -rf "$out"
fx=$out/fixtures
sd=$out/seeds
mkdir -p "$fx/pab" "$fx/tsa" "$sd"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# seed TARGET NAME SELECTOR FILE: the selector byte (0-255), then the file.
seed() {
  mkdir -p "$sd/$1"
  { printf "\\$(printf '%03o' "$3")"; cat "$4"; } >"$sd/$1/$2"
}
# plain TARGET NAME FILE: the file as it stands.
plain() {
  mkdir -p "$sd/$1"
  cp "$3" "$sd/$1/$2"
}

# The host traces into the work directory.
printf '[common]\nlog_dir = %s\n' "$work" >"$work/orvel-ssf-server.cfg"
export DIR_LIBRARY=$work

# Keys and certificates: an RSA and a GOST R 34.10-2012 signer/recipient
# (trusted in the PAB), a CA with an OCSP responder and a time-stamp
# authority under it (EC keys: quick to verify).
rsa_id="CN=Fuzz RSA, O=Orvel Fuzz, C=RU"
gost_id="CN=Fuzz GOST, O=Orvel Fuzz, C=RU"
openssl req -x509 -newkey rsa:2048 -nodes -days 36500 -subj "/C=RU/O=Orvel Fuzz/CN=Fuzz RSA" \
  -keyout "$fx/rsa.key" -out "$fx/rsa.pem" 2>/dev/null
certtool --generate-privkey --key-type gost12-256 --outfile "$fx/gost.key" 2>/dev/null
printf 'cn = "Fuzz GOST"\norganization = "Orvel Fuzz"\ncountry = RU\nserial = 7\nexpiration_days = 36500\nca\ncert_signing_key\nsigning_key\nencryption_key\n' \
  >"$work/gost.tmpl"
certtool --generate-self-signed --load-privkey "$fx/gost.key" --template "$work/gost.tmpl" \
  --outfile "$fx/gost.pem" 2>/dev/null
cp "$fx/rsa.pem" "$fx/gost.pem" "$fx/pab/"

ec() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1" 2>/dev/null; }
ec "$fx/tsa/ca.key"
openssl req -x509 -new -key "$fx/tsa/ca.key" -subj "/CN=Fuzz CA" -days 36500 -config /dev/null \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
  -out "$fx/tsa/ca.pem" 2>/dev/null
# issue NAME SUBJECT SERIAL EXTENSIONS: a certificate of the CA.
issue() {
  ec "$work/$1.key"
  openssl req -new -key "$work/$1.key" -subj "$2" -config /dev/null -out "$work/$1.csr"
  printf '%b' "$4" >"$work/$1.ext"
  openssl x509 -req -in "$work/$1.csr" -CA "$fx/tsa/ca.pem" -CAkey "$fx/tsa/ca.key" \
    -set_serial "$3" -days 36500 -extfile "$work/$1.ext" -out "$work/$1.pem" 2>/dev/null
}
issue leaf "/CN=Fuzz Leaf" 2 "authorityInfoAccess = OCSP;URI:http://127.0.0.1:9/ocsp\n"
issue ocsp "/CN=Fuzz OCSP" 3 "extendedKeyUsage = critical,OCSPSigning\nnoCheck = ignored\n"
issue tsa "/CN=Fuzz TSA" 4 "extendedKeyUsage = critical,timeStamping\n"
cp "$work/leaf.pem" "$fx/tsa/leaf.pem"

# The document, as text and as a PKCS#7 data ContentInfo.
printf 'Fuzz document.\n' >"$fx/document.txt"
"$host" encode --format PKCS7 --in "$fx/document.txt" --out "$fx/document.p7" >/dev/null
"$host" encode --format BASE64 --in "$fx/document.p7" --out "$work/document.b64" >/dev/null
rsa_profile="certfile=$fx/rsa.pem,keyfile=$fx/rsa.key"
gost_profile="certfile=$fx/gost.pem,keyfile=$fx/gost.key"

# SsfVerify, SsfAddSign, SsfEnhanceSignatures: signatures of both keys, in
# both plain formats, attached and detached.
i=0
for who in rsa gost; do
  if [ $who = rsa ]; then id=$rsa_id prof=$rsa_profile; else id=$gost_id prof=$gost_profile; fi
  for format in PKCS7 CADES_BES; do
    for det in "" --detached; do
      f=$work/signed-$i.p7
      "$host" sign --format $format --hash SHA1 --inc-certs $det --in "$fx/document.p7" \
        --out "$f" --signer "$id" --profile "$prof" >/dev/null
      # verify: format index (0 PKCS7_ANY, 1 PKCS7, 2 CADES_BES), 8 detached,
      # 16 use the certificates in the message.
      fi_=1
      [ $format = CADES_BES ] && fi_=2
      dbit=0
      [ -n "$det" ] && dbit=8
      seed verify "$who-$format$det" $((fi_ | dbit | 16)) "$f"
      seed verify "$who-$format$det-any" $((dbit)) "$f"
      # addsign: 1 CADES_BES, 2 detached (data given), 4 GOST signer.
      abit=0
      [ $who = rsa ] && abit=4
      seed addsign "$who-$format$det" $(((fi_ - 1) | (dbit >> 2) | abit)) "$f"
      # enhance: 1 data given.
      seed enhance "$who-$format$det" $((dbit >> 3)) "$f"
      i=$((i + 1))
    done
  done
done
openssl cms -sign -binary -outform DER -nodetach -in "$fx/document.txt" -signer "$fx/rsa.pem" \
  -inkey "$fx/rsa.key" -out "$work/cms-signed.der"
seed verify openssl-cms 17 "$work/cms-signed.der"
# Two signers in one message.
"$host" addsign --format PKCS7 --hash SHA1 --inc-certs --signed "$work/signed-0.p7" \
  --out "$work/two.p7" --signer "$gost_id" --profile "$gost_profile" >/dev/null
seed verify two-signers 17 "$work/two.p7"

# SsfDevelope: 0 the RSA recipient, 1 the GOST recipient.
"$host" envelope --format PKCS7 --in "$fx/document.p7" --out "$work/env-rsa.p7" \
  --pab "$fx/pab" --signer "$rsa_id" >/dev/null
"$host" envelope --format PKCS7 --in "$fx/document.p7" --out "$work/env-gost.p7" \
  --pab "$fx/pab" --signer "$gost_id" >/dev/null
"$host" envelope --format PKCS7 --in "$fx/document.p7" --out "$work/env-both.p7" \
  --pab "$fx/pab" --signer "$rsa_id" --signer "$gost_id" >/dev/null
openssl smime -encrypt -binary -aes256 -outform DER -in "$fx/document.txt" \
  -out "$work/env-openssl.p7" "$fx/rsa.pem"
seed develope rsa 0 "$work/env-rsa.p7"
seed develope gost 1 "$work/env-gost.p7"
seed develope both-rsa 0 "$work/env-both.p7"
seed develope both-gost 1 "$work/env-both.p7"
seed develope openssl-aes 0 "$work/env-openssl.p7"

# SsfDecode: 0 BASE64, 1 PKCS7.
seed decode base64 0 "$work/document.b64"
seed decode pkcs7 1 "$fx/document.p7"
seed decode signed 1 "$work/signed-0.p7"

# The key-transport BER codec: 0 GostR3410-KeyTransport, 1 PrivateKeyInfo,
# 2 EncryptedPrivateKeyInfo, 3 the toolkit type of the key transport. The
# key transport is the encryptedKey of the GOST envelope's recipient.
kt_offset=$(openssl asn1parse -inform DER -in "$work/env-gost.p7" |
  awk '/OCTET STRING/ && / l= *1[0-9][0-9] / {split($1, a, ":"); print a[1]; exit}')
openssl asn1parse -inform DER -in "$work/env-gost.p7" -strparse "$kt_offset" -noout \
  -out "$work/kt.der"
seed kt_ber transport 0 "$work/kt.der"
seed kt_ber transport-type 3 "$work/kt.der"
certtool --to-p8 --load-privkey "$fx/gost.key" --null-password --outder \
  --outfile "$work/gost-p8.der" 2>/dev/null
seed kt_ber private-key-info 1 "$work/gost-p8.der"
certtool --to-p8 --load-privkey "$fx/gost.key" --password secret --pkcs-cipher gost28147-tc26z \
  --outder --outfile "$work/gost-p8-enc.der" 2>/dev/null
seed kt_ber encrypted-private-key-info 2 "$work/gost-p8-enc.der"

# GOST key decoding: 0 PKCS#8 DER, 1 SubjectPublicKeyInfo DER, 2 certificate
# DER, 3 PEM private key. Every key type and size certtool makes.
for kt in gost01 gost12-256 gost12-512; do
  certtool --generate-privkey --key-type $kt --outfile "$work/$kt.key" 2>/dev/null
  certtool --to-p8 --load-privkey "$work/$kt.key" --null-password --outder \
    --outfile "$work/$kt.p8" 2>/dev/null
  certtool --pubkey-info --load-privkey "$work/$kt.key" --outder --outfile "$work/$kt.spki" 2>/dev/null
  seed gost_keys "$kt-private" 0 "$work/$kt.p8"
  seed gost_keys "$kt-public" 1 "$work/$kt.spki"
  seed gost_keys "$kt-pem" 3 "$work/$kt.key"
done
openssl x509 -in "$fx/gost.pem" -outform DER -out "$work/gost-cert.der"
seed gost_keys certificate 2 "$work/gost-cert.der"

# PKCS#12: 1 re-MAC (iteration count 1, the file's digest) before parsing;
# 2 no password, 4 the empty password (else "secret"). Low iteration counts
# keep the runs fast; certtool writes GOST files with plain bags here, its
# own counts are replaced by the re-MAC.
openssl pkcs12 -export -inkey "$fx/rsa.key" -in "$fx/rsa.pem" -certfile "$fx/tsa/ca.pem" \
  -name rsa -iter 1 -passout pass:secret -out "$fx/rsa.p12"
openssl pkcs12 -export -inkey "$fx/rsa.key" -in "$fx/rsa.pem" -legacy -iter 1 \
  -passout pass:secret -out "$work/rsa-legacy.p12"
openssl pkcs12 -export -inkey "$fx/rsa.key" -in "$fx/rsa.pem" -iter 1 -passout pass: \
  -out "$work/rsa-empty.p12"
certtool --to-p12 --load-privkey "$fx/gost.key" --load-certificate "$fx/gost.pem" \
  --pkcs-cipher none --hash streebog-256 --password secret --p12-name gost --outder \
  --outfile "$work/gost.p12" 2>/dev/null
seed pkcs12 rsa 0 "$fx/rsa.p12"
seed pkcs12 rsa-legacy 0 "$work/rsa-legacy.p12"
seed pkcs12 rsa-empty 4 "$work/rsa-empty.p12"
# certtool puts the unencrypted GOST key into a shrouded-key bag; as the
# key bag it is (its MAC then needs the re-MAC) the key is read.
python3 - "$work/gost.p12" "$work/gost-keybag.p12" <<'PY'
import sys
der = open(sys.argv[1], 'rb').read()
shrouded = bytes.fromhex('060b2a864886f70d010c0a0102a0')
assert shrouded in der
open(sys.argv[2], 'wb').write(der.replace(shrouded, shrouded[:-2] + b'\x01\xa0'))
PY
seed pkcs12 gost-remac 1 "$work/gost.p12"
seed pkcs12 gost-keybag-remac 1 "$work/gost-keybag.p12"

# OCSP answers for the leaf: good, revoked, unknown, signed by the CA.
openssl ocsp -issuer "$fx/tsa/ca.pem" -cert "$work/leaf.pem" -no_nonce -reqout "$work/req.der" \
  2>/dev/null
expiry=$(openssl x509 -in "$work/leaf.pem" -noout -enddate | cut -d= -f2)
expiry=$(date -u -d "$expiry" +%y%m%d%H%M%SZ)
printf 'V\t%s\t\t02\tunknown\t/CN=Fuzz Leaf\n' "$expiry" >"$work/good.idx"
printf 'R\t%s\t%s\t02\tunknown\t/CN=Fuzz Leaf\n' "$expiry" "$(date -u +%y%m%d%H%M%SZ)" \
  >"$work/revoked.idx"
: >"$work/unknown.idx"
for st in good revoked unknown; do
  openssl ocsp -index "$work/$st.idx" -rsigner "$work/ocsp.pem" -rkey "$work/ocsp.key" \
    -CA "$fx/tsa/ca.pem" -reqin "$work/req.der" -respout "$work/ocsp-$st.der" -ndays 36500 \
    2>/dev/null
  plain ocsp "$st" "$work/ocsp-$st.der"
done
openssl ocsp -index "$work/good.idx" -rsigner "$fx/tsa/ca.pem" -rkey "$fx/tsa/ca.key" \
  -CA "$fx/tsa/ca.pem" -reqin "$work/req.der" -respout "$work/ocsp-ca.der" -ndays 36500 2>/dev/null
plain ocsp by-ca "$work/ocsp-ca.der"

# CRLs of the CA (openssl ca -gencrl): empty, listing the leaf on hold and
# another serial as compromised, the same with a distribution point, a
# freshest CRL and an unknown critical extension, and a delta of the second
# (deltaCRLIndicator 2, written out: openssl has no text form of it) that
# takes the leaf off the list.
mkdir -p "$work/crl"
: >"$work/crl/index"
cat >"$work/crl.cnf" <<EOF
[ ca ]
default_ca = fuzz_ca
[ fuzz_ca ]
database = $work/crl/index
crlnumber = $work/crl/number
certificate = $fx/tsa/ca.pem
private_key = $fx/tsa/ca.key
default_md = sha256
[ crl_number ]
authorityKeyIdentifier = keyid
[ crl_scoped ]
authorityKeyIdentifier = keyid
issuingDistributionPoint = critical,@idp
freshestCRL = URI:http://127.0.0.1:9/delta.crl
1.3.6.1.4.1.99999.7 = critical,DER:05:00
[ idp ]
fullname = URI:http://127.0.0.1:9/crl
[ crl_delta ]
authorityKeyIdentifier = keyid
2.5.29.27 = critical,DER:02:01:02
EOF
# gencrl NAME SECTION: a CRL of the index as it stands, as a seed.
gencrl() {
  openssl ca -gencrl -config "$work/crl.cnf" -crlexts "$2" -crldays 36500 \
    -out "$work/crl/$1.pem" 2>/dev/null
  openssl crl -in "$work/crl/$1.pem" -outform DER -out "$work/crl/$1.der"
  plain crl "$1" "$work/crl/$1.der"
}
echo 01 >"$work/crl/number"
gencrl empty crl_number
now=$(date -u +%y%m%d%H%M%SZ)
printf 'R\t%s\t%s,certificateHold\t02\tunknown\t/CN=Fuzz Leaf\n' "$expiry" "$now" \
  >"$work/crl/index"
printf 'R\t%s\t%s,keyCompromise\t0A\tunknown\t/CN=Fuzz Other\n' "$expiry" "$now" \
  >>"$work/crl/index"
gencrl revoked crl_number
gencrl scoped crl_scoped
printf 'R\t%s\t%s,removeFromCRL\t02\tunknown\t/CN=Fuzz Leaf\n' "$expiry" "$now" \
  >"$work/crl/index"
gencrl delta crl_delta

# Time-stamp tokens over the document: kinds 1 signature, 2 ES-C, 3 archive
# (selector 0-2); the token alone, or (selector + 3) the whole answer.
cat >"$work/ts.cnf" <<EOF
[ tsa ]
default_tsa = tsa_config1
[ tsa_config1 ]
serial = $work/ts.serial
crypto_device = builtin
signer_cert = $work/tsa.pem
certs = $fx/tsa/ca.pem
signer_key = $work/tsa.key
signer_digest = sha256
default_policy = 1.2.3.4.1
digests = sha1, sha256, sha512
accuracy = secs:1
ordering = yes
tsa_name = yes
ess_cert_id_chain = yes
ess_cert_id_alg = sha256
EOF
echo 01 >"$work/ts.serial"
openssl ts -query -data "$fx/document.txt" -sha256 -cert -out "$work/q.tsq" 2>/dev/null
openssl ts -reply -config "$work/ts.cnf" -queryfile "$work/q.tsq" -out "$work/r.tsr" 2>/dev/null
openssl ts -reply -config "$work/ts.cnf" -queryfile "$work/q.tsq" -token_out \
  -out "$work/token.der" 2>/dev/null
openssl ts -query -data "$fx/document.txt" -sha1 -no_nonce -out "$work/q1.tsq" 2>/dev/null
openssl ts -reply -config "$work/ts.cnf" -queryfile "$work/q1.tsq" -token_out \
  -out "$work/token-sha1.der" 2>/dev/null
for k in 0 1 2; do
  seed tsp "token-kind$k" $k "$work/token.der"
  seed tsp "answer-kind$k" $((k + 3)) "$work/r.tsr"
done
seed tsp token-sha1 0 "$work/token-sha1.der"

# Enhanced signatures (PKCS7_CADES and CADES_XLT1) for SsfVerify and
# SsfEnhanceSignatures: a loopback service answers time-stamp requests with
# openssl ts -reply and OCSP requests with openssl ocsp; the signer's
# certificate names the responder.
python3 - "$work" >"$work/service.port" 2>/dev/null <<'PY' &
import http.server, subprocess, sys, os
work = sys.argv[1]
class Handler(http.server.BaseHTTPRequestHandler):
    def do_POST(self):
        body = self.rfile.read(int(self.headers['Content-Length']))
        query, answer = os.path.join(work, 'svc.req'), os.path.join(work, 'svc.ans')
        open(query, 'wb').write(body)
        if self.path.startswith('/tsp'):
            cmd = ['openssl', 'ts', '-reply', '-config', os.path.join(work, 'ts.cnf'),
                   '-queryfile', query, '-out', answer]
            kind = 'application/timestamp-reply'
        else:
            cmd = ['openssl', 'ocsp', '-index', os.path.join(work, 'xl.idx'), '-rsigner',
                   os.path.join(work, 'ocsp.pem'), '-rkey', os.path.join(work, 'ocsp.key'),
                   '-CA', os.path.join(work, 'ca.pem'), '-reqin', query, '-respout', answer,
                   '-ndays', '36500']
            kind = 'application/ocsp-response'
        subprocess.run(cmd, check=True, capture_output=True)
        data = open(answer, 'rb').read()
        self.send_response(200)
        self.send_header('Content-Type', kind)
        self.send_header('Content-Length', str(len(data)))
        self.end_headers()
        self.wfile.write(data)
    def log_message(self, *args):
        pass
server = http.server.HTTPServer(('127.0.0.1', 0), Handler)
print(server.server_address[1], flush=True)
server.serve_forever()
PY
service=$!
trap 'kill $service 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s "$work/service.port" ] && break; sleep 0.1; done
port=$(cat "$work/service.port")
cp "$fx/tsa/ca.pem" "$work/ca.pem"
cp "$fx/tsa/ca.pem" "$fx/pab/ca.pem"
openssl req -new -newkey rsa:2048 -nodes -keyout "$work/xl.key" -subj "/O=Orvel Fuzz/CN=Fuzz CAdES" \
  -config /dev/null -out "$work/xl.csr" 2>/dev/null
printf 'authorityInfoAccess = OCSP;URI:http://127.0.0.1:%s/ocsp\nkeyUsage = digitalSignature,nonRepudiation\n' \
  "$port" >"$work/xl.ext"
openssl x509 -req -in "$work/xl.csr" -CA "$fx/tsa/ca.pem" -CAkey "$fx/tsa/ca.key" -set_serial 5 \
  -days 36500 -extfile "$work/xl.ext" -out "$work/xl.pem" 2>/dev/null
printf 'V\t%s\t\t05\tunknown\t/O=Orvel Fuzz/CN=Fuzz CAdES\n' \
  "$(date -u -d "$(openssl x509 -in "$work/xl.pem" -noout -enddate | cut -d= -f2)" +%y%m%d%H%M%SZ)" \
  >"$work/xl.idx"
mkdir -p "$work/xl"
printf '[common]\nlog_dir = %s\nca_file = %s\n[cades]\ntsp_server = http://127.0.0.1:%s/tsp\nmax_ocsp_age = 3600\n' \
  "$work" "$fx/tsa/ca.pem" "$port" >"$work/xl/orvel-ssf-server.cfg"
for format in PKCS7_CADES CADES_XLT1; do
  DIR_LIBRARY=$work/xl "$host" sign --format $format --hash SHA1 --inc-certs \
    --in "$fx/document.p7" --out "$work/$format.p7" --signer "CN=Fuzz CAdES, O=Orvel Fuzz" \
    --profile "certfile=$work/xl.pem,keyfile=$work/xl.key" >/dev/null
  fi_=3
  [ $format = CADES_XLT1 ] && fi_=4
  seed verify "$format" $((fi_ | 16)) "$work/$format.p7"
  seed verify "$format-any" 16 "$work/$format.p7"
  seed enhance "$format" 0 "$work/$format.p7"
done

# hok: whole HTTP answers to 0 the fingerprint request, 1 the certificate
# request.
soap() {
  printf '<soap:Envelope xmlns:soap="http://schemas.xmlsoap.org/soap/envelope/"><soap:Body>'
  printf '<ns2:%s xmlns:ns2="http://ws.hok.orvel.ru/"><return>%s</return></ns2:%s>' "$1" "$2" "$1"
  printf '</soap:Body></soap:Envelope>'
}
answer() {
  printf 'HTTP/1.1 200 OK\r\nContent-Type: text/xml;charset=UTF-8\r\nContent-Length: %d\r\n' \
    "${#1}"
  printf 'Connection: close\r\n\r\n%s' "$1"
}
sha1=$(openssl x509 -in "$fx/rsa.pem" -noout -fingerprint -sha1 | cut -d= -f2 | tr -d : |
  tr A-F a-f)
b64=$(openssl x509 -in "$fx/rsa.pem" -outform DER | base64 -w0)
pem=$(sed 's/$/\&#13;/' "$fx/rsa.pem" | tr -d '\n')
answer "$(soap getCertsByOwnerResponse "<cert><fingerprint>$sha1</fingerprint></cert><cert><fingerprint>00ff</fingerprint></cert>")" \
  >"$work/hok-owner"
answer "$(soap getCertsByIdsResponse "<cert><pkcs>$b64</pkcs></cert>")" >"$work/hok-ids"
answer "$(soap getCertsByIdsResponse "<cert><pkcs>$pem</pkcs></cert>")" >"$work/hok-ids-pem"
printf 'HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\n\r\n' >"$work/hok-500"
seed hok owner 0 "$work/hok-owner"
seed hok ids 1 "$work/hok-ids"
seed hok ids-pem 1 "$work/hok-ids-pem"
seed hok error 0 "$work/hok-500"

# Profiles (profile time on, passwords encrypted): the profile, the
# password blob and the id, one a line, after the selector (1: a signer).
# The blob is "secret" under the library's fixed password key.
blob=obLD1OX2BxjR54PIqLtA1U3/5qw=
for s in 0 1; do
  printf '20240101120000rsa.p12\n%s\n%s' "$blob" "$rsa_id" >"$work/profile"
  seed profile "p12-$s" $s "$work/profile"
  printf '20240101120000certfile=rsa.pem,keyfile=rsa.key\n\n%s' \
    "$(openssl x509 -in "$fx/rsa.pem" -noout -fingerprint -sha1 | cut -d= -f2 | tr : ' ' |
      tr A-F a-f)" >"$work/profile"
  seed profile "pem-$s" $s "$work/profile"
  printf '20991231235959certfile=gost.pem\n%s\n%s' "$blob" "$gost_id" >"$work/profile"
  seed profile "gost-$s" $s "$work/profile"
done

# Configuration files.
mkdir -p "$sd/config"
cat >"$sd/config/all-keys" <<'EOF'
[common]
log_dir = /nonexistent
write_log = yes
server_mode = no
cert_check_options = check_chain check_crl
ca_file = /nonexistent/ca.pem
crl_protocols = http ldap file ftp
use_profile_timestamp = yes
default_password = secret
server_encoding = CP1251
use_heapdump = no
debug_mode = yes
default_verify_name = CN=Fuzz RSA, O=Orvel Fuzz, C=RU
password_caching = yes
verify_use_signing_time = yes
verify_use_sha1_id = yes
use_profile_password_encryption = yes
[cades]
tsp_server = http://127.0.0.1:9/tsp
tsp_server_2012 = https://127.0.0.1:9/tsp
ocsp_server = http://127.0.0.1:9/ocsp
max_tsp_ocsp_diff = 60
default_crl_url = http://127.0.0.1:9/crl
default_crl_url_2012 = ldap://127.0.0.1:9/cn=x?certificateRevocationList
use_only_default_crl_url = no
disable_ocsp_issuer_check = no
disable_cades_crl_using = no
max_ocsp_age = 3600
[proxy]
proxy_url = http://127.0.0.1:3128
proxy_login_pwd = user:pass
[hok]
hok_urls = http://127.0.0.1:9/hok,https://127.0.0.1:9/hok
hok_login = user
hok_password = pass
EOF
printf '; comment\n[common]\ndebug_mode="yes" ; quoted\ncert_check_options=\n[proxy]\nproxy_url=host\n' \
  >"$sd/config/odd-forms"
