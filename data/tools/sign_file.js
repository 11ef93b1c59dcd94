#!/usr/bin/env node
'use strict';
// Turns the zip of a bundle's contents into a signed .bundle, and checks
// signed bundles. Node's own modules only.
//
//   node sign_file.js <zip> <bundle>      sign: writes <bundle>
//   node sign_file.js --verify <bundle>   exit 0 when <bundle> verifies
//
// Layout of a .bundle (all integers little-endian; docs/bundle-format.md):
//   0   8  magic "LUMOBNDL"
//   8   2  format version (1)
//   10  2  signature algorithm (1: Ed25519)
//   12  8  public-key id: first 8 bytes of SHA-256 of the raw 32-byte public key
//   20  4  signature length (64 for Ed25519)
//   24  8  zip length in bytes
//   32  .. signature over bytes 0..31 followed by the zip bytes
//   ..  .. the zip bytes
//
// Signing key: the PKCS#8 PEM Ed25519 private key named by LUMO_SIGN_KEY, or
// sign_key_dev.pem beside this script (a development key, not for release).
// Trusted keys when verifying: sign_key_dev.pub.pem beside this script, the
// public half of LUMO_SIGN_KEY and the SPKI PEM file named by LUMO_SIGN_PUBKEY.
//
// Exit codes: 0 done / verified, 1 failure (reason on stderr), 2 bad usage.

const fs = require('fs');
const path = require('path');
const crypto = require('crypto');

const MAGIC = Buffer.from('LUMOBNDL', 'ascii');
const FORMAT_VERSION = 1;
const ALG_ED25519 = 1;
const SIGNATURE_LENGTH = 64;
const HEADER_LENGTH = 32;
const KEY_ID_LENGTH = 8;
const MAX_ZIP_BYTES = 1024 * 1024 * 1024;
const DEV_PRIVATE_KEY = path.join(__dirname, 'sign_key_dev.pem');
const DEV_PUBLIC_KEY = path.join(__dirname, 'sign_key_dev.pub.pem');

class Refusal extends Error {}

function refuse(message) {
    throw new Refusal(message);
}

function readKeyFile(file, what) {
    try {
        return fs.readFileSync(file);
    } catch (e) {
        refuse(`cannot read ${what} ${file}: ${e.message}`);
    }
}

// Reads an Ed25519 key from a PEM file; `create` is crypto.createPrivateKey
// or crypto.createPublicKey.
function loadKey(file, what, create) {
    const pem = readKeyFile(file, what);
    let key;
    try {
        key = create(pem);
    } catch (e) {
        refuse(`${file} holds no usable ${what}: ${e.message}`);
    }
    if (key.asymmetricKeyType !== 'ed25519')
        refuse(`${file} is not an Ed25519 key (${key.asymmetricKeyType})`);
    return key;
}

function loadPrivateKey() {
    return loadKey(process.env.LUMO_SIGN_KEY || DEV_PRIVATE_KEY, 'signing key', crypto.createPrivateKey);
}

function loadPublicKey(file) {
    return loadKey(file, 'public key', crypto.createPublicKey);
}

function keyId(publicKey) {
    const raw = Buffer.from(publicKey.export({ format: 'jwk' }).x, 'base64url');
    return crypto.createHash('sha256').update(raw).digest().subarray(0, KEY_ID_LENGTH);
}

function trustedKeys() {
    const keys = [loadPublicKey(DEV_PUBLIC_KEY)];
    if (process.env.LUMO_SIGN_KEY)
        keys.push(crypto.createPublicKey(loadPrivateKey()));
    if (process.env.LUMO_SIGN_PUBKEY)
        keys.push(loadPublicKey(process.env.LUMO_SIGN_PUBKEY));
    return keys;
}

function looksLikeZip(bytes) {
    if (bytes.length < 22 || bytes[0] !== 0x50 || bytes[1] !== 0x4b)
        return false;
    const kind = bytes.readUInt16LE(2);
    return kind === 0x0403 || kind === 0x0605;
}

function readZip(file) {
    let stat;
    try {
        stat = fs.statSync(file);
    } catch (e) {
        refuse(`cannot read zip ${file}: ${e.message}`);
    }
    if (!stat.isFile())
        refuse(`${file} is not a file`);
    if (stat.size > MAX_ZIP_BYTES)
        refuse(`${file} is larger than ${MAX_ZIP_BYTES} bytes`);
    const bytes = fs.readFileSync(file);
    if (!looksLikeZip(bytes))
        refuse(`${file} is not a zip archive`);
    return bytes;
}

function makeHeader(id, zipLength) {
    const header = Buffer.alloc(HEADER_LENGTH);
    MAGIC.copy(header, 0);
    header.writeUInt16LE(FORMAT_VERSION, 8);
    header.writeUInt16LE(ALG_ED25519, 10);
    id.copy(header, 12);
    header.writeUInt32LE(SIGNATURE_LENGTH, 20);
    header.writeBigUInt64LE(BigInt(zipLength), 24);
    return header;
}

// Writes beside the target and renames, so no half-written bundle appears.
function writeWhole(file, bytes) {
    const temp = `${file}.tmp-${process.pid}`;
    try {
        fs.writeFileSync(temp, bytes);
        fs.renameSync(temp, file);
    } catch (e) {
        try { fs.unlinkSync(temp); } catch (ignored) { /* nothing was written */ }
        refuse(`cannot write ${file}: ${e.message}`);
    }
}

function sign(zipFile, bundleFile) {
    const zip = readZip(zipFile);
    const privateKey = loadPrivateKey();
    const id = keyId(crypto.createPublicKey(privateKey));
    const header = makeHeader(id, zip.length);
    const signature = crypto.sign(null, Buffer.concat([header, zip]), privateKey);
    writeWhole(bundleFile, Buffer.concat([header, signature, zip]));
    console.log(`sign_file: wrote ${bundleFile} (key ${id.toString('hex')}, ${zip.length} zip bytes)`);
}

// Splits a bundle into its parts; refuses anything that breaks the layout.
function parseBundle(bytes) {
    if (bytes.length < HEADER_LENGTH + SIGNATURE_LENGTH)
        refuse(`too short for a bundle (${bytes.length} bytes)`);
    if (!bytes.subarray(0, MAGIC.length).equals(MAGIC))
        refuse('bad magic');
    const version = bytes.readUInt16LE(8);
    if (version !== FORMAT_VERSION)
        refuse(`unsupported format version ${version}`);
    const algorithm = bytes.readUInt16LE(10);
    if (algorithm !== ALG_ED25519)
        refuse(`unsupported signature algorithm ${algorithm}`);
    const signatureLength = bytes.readUInt32LE(20);
    if (signatureLength !== SIGNATURE_LENGTH)
        refuse(`signature length ${signatureLength}, expected ${SIGNATURE_LENGTH}`);
    const zipLength = bytes.readBigUInt64LE(24);
    const zipStart = HEADER_LENGTH + SIGNATURE_LENGTH;
    if (zipLength !== BigInt(bytes.length - zipStart))
        refuse(`zip length ${zipLength} does not match the ${bytes.length - zipStart} bytes present`);
    return {
        header: bytes.subarray(0, HEADER_LENGTH),
        id: bytes.subarray(12, 12 + KEY_ID_LENGTH),
        signature: bytes.subarray(HEADER_LENGTH, zipStart),
        zip: bytes.subarray(zipStart),
    };
}

function verify(bundleFile) {
    let bytes;
    try {
        bytes = fs.readFileSync(bundleFile);
    } catch (e) {
        refuse(`cannot read bundle ${bundleFile}: ${e.message}`);
    }
    const parts = parseBundle(bytes);
    const key = trustedKeys().find((k) => keyId(k).equals(parts.id));
    if (!key)
        refuse(`${bundleFile}: signed with unknown key ${parts.id.toString('hex')}`);
    if (!crypto.verify(null, Buffer.concat([parts.header, parts.zip]), key, parts.signature))
        refuse(`${bundleFile}: signature does not verify`);
    if (!looksLikeZip(parts.zip))
        refuse(`${bundleFile}: payload is not a zip archive`);
    console.log(`sign_file: ${bundleFile} verifies (key ${parts.id.toString('hex')}, ${parts.zip.length} zip bytes)`);
}

function main(args) {
    if (args.length === 2 && args[0] === '--verify')
        return verify(args[1]);
    if (args.length === 2 && !args[0].startsWith('--'))
        return sign(args[0], args[1]);
    console.error('usage: node sign_file.js <zip> <bundle>\n       node sign_file.js --verify <bundle>');
    process.exitCode = 2;
}

try {
    main(process.argv.slice(2));
} catch (e) {
    console.error(`sign_file: ${e instanceof Refusal ? e.message : e.stack || e}`);
    process.exitCode = 1;
}
