#!/usr/bin/python3
"""Checks a signature file written by paktool on its own, with PyNaCl and hashlib.

usage: signature_check.py PUBLIC FILE NAME NUMBER
Reads FILE.sig, checks the layout field by field, that it holds NAME, NUMBER and FILE's
SHA-256, and that its Ed25519 signature over everything before it verifies with PUBLIC.
Exit 0 when all holds; otherwise prints what does not and exits 1.
"""
import hashlib
import struct
import sys

import nacl.exceptions
import nacl.signing


def check(public_path, file_path, name, number):
    public = open(public_path, "rb").read()
    content = open(file_path, "rb").read()
    sig = open(file_path + ".sig", "rb").read()
    if sig[:6] != b"KVOSIG":
        return "bad magic %r" % sig[:6]
    version, signed_number = struct.unpack_from("<HQ", sig, 6)
    (name_length,) = struct.unpack_from("<H", sig, 48)
    if version != 1:
        return "format version %d" % version
    if len(sig) != 114 + name_length:
        return "size %d for a name of %d bytes" % (len(sig), name_length)
    if sig[50:50 + name_length] != name.encode():
        return "signed name %r" % sig[50:50 + name_length]
    if signed_number != number:
        return "publication %d" % signed_number
    if sig[16:48] != hashlib.sha256(content).digest():
        return "digest is not the file's SHA-256"
    try:
        nacl.signing.VerifyKey(public).verify(sig[:50 + name_length], sig[50 + name_length:])
    except nacl.exceptions.BadSignatureError:
        return "Ed25519 signature does not verify"
    return None


def main():
    public_path, file_path, name, number = sys.argv[1:5]
    problem = check(public_path, file_path, name, int(number))
    if problem:
        print("%s: %s" % (file_path, problem))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
