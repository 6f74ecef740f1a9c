#!/bin/sh
# Makes the certificates of the TLS tests in folder $1: a CA, a device certificate for
# 127.0.0.1 and localhost, a master certificate with a Modbus role, a rogue CA with a device and
# a master certificate of its own, the master's key and certificate as a PKCS#12 file, and masters
# with a read-only role and without a role; with "rsa" as $2 also an RSA CA with a device and a
# master certificate (and PKCS#12 file) of its own.
set -eu
cd "$1"
days=2
role="1.3.6.1.4.1.50316.802.1=ASN1:UTF8String:operator"

ca() { # name
  openssl req -x509 -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout "$1.key" -out "$1.pem" \
    -days $days -subj "/CN=$1" -addext basicConstraints=critical,CA:TRUE -addext keyUsage=keyCertSign 2>/dev/null
}
leaf() { # name, signing CA, extensions
  openssl req -newkey ec -pkeyopt ec_paramgen_curve:P-256 -nodes -keyout "$1.key" -out "$1.csr" -subj "/CN=$1" 2>/dev/null
  printf '%s\n' "$3" > "$1.ext"
  openssl x509 -req -in "$1.csr" -CA "$2.pem" -CAkey "$2.key" -CAcreateserial -out "$1.pem" -days $days \
    -extfile "$1.ext" 2>/dev/null
}

ca ca
ca rogue-ca
leaf device ca "subjectAltName=IP:127.0.0.1,DNS:localhost
extendedKeyUsage=serverAuth"
leaf master ca "$role
extendedKeyUsage=clientAuth"
leaf rogue-device rogue-ca "subjectAltName=IP:127.0.0.1,DNS:localhost
extendedKeyUsage=serverAuth"
leaf rogue-master rogue-ca "$role
extendedKeyUsage=clientAuth"
openssl pkcs12 -export -in master.pem -inkey master.key -certfile ca.pem -passout pass:secret -out master.pfx

# Masters for the simulator's role policy: one whose role may only read, one without a role.
leaf viewer ca "1.3.6.1.4.1.50316.802.1=ASN1:UTF8String:viewer
extendedKeyUsage=clientAuth"
leaf roleless ca "extendedKeyUsage=clientAuth"

# With a second argument "rsa": the same roles with RSA keys under a CA of their own, for TLS
# stacks that take no EC client key (SChannel under Wine): rsa-ca, rsa-device, rsa-master and
# rsa-master.pfx. RSA keys take a while to make, so only those tests ask for them.
[ "${2:-}" = rsa ] || exit 0
rsa_ca() { # name
  openssl req -x509 -newkey rsa:2048 -nodes -keyout "$1.key" -out "$1.pem" \
    -days $days -subj "/CN=$1" -addext basicConstraints=critical,CA:TRUE -addext keyUsage=keyCertSign 2>/dev/null
}
# Wine's PKCS#12 import misplaces a part of an RSA key that is shorter than its nominal length (a
# leading zero byte, in a few keys of a hundred), and the master then cannot sign ("GnuTLS error:
# Public key signing has failed"): such keys are made again.
full_length_rsa() { # key file
  openssl rsa -in "$1" -traditional -outform DER 2>/dev/null | openssl asn1parse -inform DER |
    awk -F: '/INTEGER/ { n++; v = $NF; sub(/^(00)+/, "", v); l = length(v) / 2
      if ((n == 2 || n == 4) && l != 256) bad = 1; if (n >= 5 && l != 128) bad = 1 } END { exit bad }'
}
rsa_leaf() { # name, signing CA, extensions
  tries=0
  until openssl genpkey -algorithm RSA -pkeyopt rsa_keygen_bits:2048 -out "$1.key" 2>/dev/null &&
    full_length_rsa "$1.key"; do
    tries=$((tries + 1))
    [ "$tries" -lt 50 ] || return 1
  done
  openssl req -new -key "$1.key" -out "$1.csr" -subj "/CN=$1" 2>/dev/null
  printf '%s\n' "$3" > "$1.ext"
  openssl x509 -req -in "$1.csr" -CA "$2.pem" -CAkey "$2.key" -CAcreateserial -out "$1.pem" -days $days \
    -extfile "$1.ext" 2>/dev/null
}
rsa_ca rsa-ca
rsa_leaf rsa-device rsa-ca "subjectAltName=IP:127.0.0.1,DNS:localhost
extendedKeyUsage=serverAuth"
rsa_leaf rsa-master rsa-ca "$role
extendedKeyUsage=clientAuth"
openssl pkcs12 -export -in rsa-master.pem -inkey rsa-master.key -certfile rsa-ca.pem -passout pass:secret \
  -out rsa-master.pfx
