#!/usr/bin/env python3
"""A contactless reader holding one card, as vsmartcard's vpcd driver sees a virtual card.

vpcd's protocol (vsmartcard, virtualsmartcard/doc): TCP; every message is a 2-byte big-endian
length and the payload. A 1-byte payload is a control message: 0 power off, 1 power on, 2 reset,
4 "send the ATR" (answered with the ATR as a message). Any longer payload is a command APDU,
answered with the response APDU.

The card answers as a PC/SC reader with the storage-card mapping of PCSC3 (v2.01.09) would for the
card on it: the ATR of PCSC3 §3.1.3.2.3 names the card, GET DATA (FF CA) gives the UID, LOAD KEYS
(FF 82) and GENERAL AUTHENTICATE (FF 86) authenticate Mifare sectors, READ BINARY (FF B0) and
UPDATE BINARY (FF D6) reach blocks or pages. The card behind them follows the NXP datasheets:
MF1S50yyX (Mifare Classic 1K, §8.6-8.7 keys and access conditions) and NTAG213/215/216 (§8.5
memory organisation, §8.5.2 static lock bytes, §8.5.7 AUTH0/PROT, §10.2 READ roll-over).

Usage: virtual_tag.py --kind mifare1k|ntag215 [--port 35963] [--uid HEX]
"""

import argparse
import socket
import struct
import sys
import time

OK = b"\x90\x00"
FAILED = b"\x63\x00"          # the card did not answer or refused (NAK), authentication failed
NOT_ALLOWED = b"\x69\x82"     # security status not satisfied: no or wrong authentication
BAD_ADDRESS = b"\x6A\x82"     # block or page outside the card
WRONG_LENGTH = b"\x67\x00"
BAD_P1P2 = b"\x6B\x00"
BAD_INS = b"\x6D\x00"
BAD_CLA = b"\x6E\x00"


def storage_atr(card_name):
    """PCSC3 storage-card ATR: 3B 8F 80 01, historical bytes 80 4F 0C RID SS NN NN 00*4, TCK."""
    history = bytes([0x80, 0x4F, 0x0C, 0xA0, 0x00, 0x00, 0x03, 0x06, 0x03]) + card_name + bytes(4)
    body = bytes([0x8F, 0x80, 0x01]) + history
    tck = 0
    for byte in body:
        tck ^= byte
    return bytes([0x3B]) + body + bytes([tck])


class MifareClassic1K:
    """MF1S50: 16 sectors of 4 blocks; block 3 of each sector is its trailer (key A, access bytes, key B)."""

    ATR = storage_atr(b"\x00\x01")
    BLOCKS = 64

    def __init__(self, uid):
        self.uid = uid
        bcc = uid[0] ^ uid[1] ^ uid[2] ^ uid[3]
        self.blocks = [bytearray(16) for _ in range(self.BLOCKS)]
        self.blocks[0][:] = uid + bytes([bcc, 0x08, 0x04, 0x00]) + bytes(range(0x62, 0x6A))
        for sector in range(16):
            # Transport configuration (§8.7.3): key A and key B FF.., access bytes FF 07 80, GPB 69.
            self.blocks[4 * sector + 3][:] = b"\xFF" * 6 + b"\xFF\x07\x80\x69" + b"\xFF" * 6
        self.keys = {}
        self.power_on()

    def power_on(self):
        self.auth = None  # (sector, key B?) after a successful authentication

    def access_bits(self, sector, index):
        """C1 C2 C3 of block `index` (0-3) of the sector, from the trailer's bytes 6-8 (§8.7.1)."""
        trailer = self.blocks[4 * sector + 3]
        c1 = (trailer[7] >> (4 + index)) & 1
        c2 = (trailer[8] >> index) & 1
        c3 = (trailer[8] >> (4 + index)) & 1
        return (c1 << 2) | (c2 << 1) | c3

    def key_b_readable(self, sector):
        # Trailer conditions 000, 010 and 001 make key B readable; such a key B authenticates nothing.
        return self.access_bits(sector, 3) in (0b000, 0b010, 0b001)

    def may(self, block, operation):
        """Whether the authenticated key may read or write the block (§8.7.2 and §8.7.3 tables)."""
        if self.auth is None or self.auth[0] != block // 4:
            return False
        sector, key_b = self.auth
        bits = self.access_bits(sector, block % 4)
        if block % 4 != 3:
            readers = {0b000: "AB", 0b010: "AB", 0b100: "AB", 0b110: "AB", 0b001: "AB", 0b011: "B", 0b101: "B", 0b111: ""}
            writers = {0b000: "AB", 0b010: "", 0b100: "B", 0b110: "B", 0b001: "", 0b011: "B", 0b101: "", 0b111: ""}
            allowed = (readers if operation == "read" else writers)[bits]
            if block == 0 and operation == "write":
                return False  # the manufacturer block is read-only
            return ("B" if key_b else "A") in allowed
        return operation == "read" or bits in ((0b000, 0b001) if not key_b else (0b100, 0b011))

    def read_trailer(self, sector):
        trailer = self.blocks[4 * sector + 3]
        key_b = bytes(trailer[10:16]) if self.key_b_readable(sector) else bytes(6)
        return bytes(6) + bytes(trailer[6:10]) + key_b

    def command(self, apdu):
        ins, p1, p2 = apdu[1], apdu[2], apdu[3]
        if ins == 0x82:  # LOAD KEYS: key number P2, 6 key bytes
            if len(apdu) != 11 or apdu[4] != 6:
                return WRONG_LENGTH
            self.keys[p2] = bytes(apdu[5:11])
            return OK
        if ins == 0x86:  # GENERAL AUTHENTICATE: 01 00 block key-type key-number
            if len(apdu) != 10 or apdu[4] != 5 or apdu[5] != 0x01:
                return WRONG_LENGTH
            block, key_type, number = apdu[7], apdu[8], apdu[9]
            if block >= self.BLOCKS or key_type not in (0x60, 0x61) or number not in self.keys:
                return BAD_P1P2
            sector = block // 4
            trailer = self.blocks[4 * sector + 3]
            use_b = key_type == 0x61
            stored = bytes(trailer[10:16]) if use_b else bytes(trailer[0:6])
            self.auth = None
            if stored != self.keys[number] or (use_b and self.key_b_readable(sector)):
                return FAILED
            self.auth = (sector, use_b)
            return OK
        if ins == 0xB0:  # READ BINARY: block P2, Le 16
            if p1 != 0 or p2 >= self.BLOCKS:
                return BAD_ADDRESS
            if len(apdu) != 5 or apdu[4] not in (0x00, 0x10):
                return WRONG_LENGTH
            if not self.may(p2, "read"):
                return NOT_ALLOWED
            data = self.read_trailer(p2 // 4) if p2 % 4 == 3 else bytes(self.blocks[p2])
            return data + OK
        if ins == 0xD6:  # UPDATE BINARY: block P2, 16 bytes
            if p1 != 0 or p2 >= self.BLOCKS:
                return BAD_ADDRESS
            if len(apdu) != 21 or apdu[4] != 16:
                return WRONG_LENGTH
            if not self.may(p2, "write"):
                return NOT_ALLOWED
            self.blocks[p2][:] = apdu[5:21]
            return OK
        return BAD_INS


class Ntag215:
    """NTAG215: 135 pages of 4 bytes; user memory 04h-81h, configuration 83h-86h."""

    ATR = storage_atr(b"\x00\x03")
    LAST_PAGE = 0x86
    CFG0, CFG1, PWD, PACK = 0x83, 0x84, 0x85, 0x86

    def __init__(self, uid):
        self.uid = uid
        bcc0 = 0x88 ^ uid[0] ^ uid[1] ^ uid[2]
        bcc1 = uid[3] ^ uid[4] ^ uid[5] ^ uid[6]
        self.pages = [bytearray(4) for _ in range(self.LAST_PAGE + 1)]
        self.pages[0][:] = uid[0:3] + bytes([bcc0])
        self.pages[1][:] = uid[3:7]
        self.pages[2][:] = bytes([bcc1, 0x48, 0x00, 0x00])
        self.pages[3][:] = b"\xE1\x10\x3E\x00"  # capability container of an NTAG215 (§8.5.6)
        self.pages[self.CFG0][:] = b"\x04\x00\x00\xFF"  # AUTH0 FFh: no page protected
        self.pages[self.PWD][:] = b"\xFF\xFF\xFF\xFF"

    def power_on(self):
        pass

    def auth0(self):
        return self.pages[self.CFG0][3]

    def locked(self, page):
        """Static lock bits L3-L15 (§8.5.2): byte 2 bits 3-7 lock pages 3-7, byte 3 pages 8-15."""
        if page < 3 or page > 15:
            return False
        lock = self.pages[2][2] | (self.pages[2][3] << 8)
        return bool(lock & (1 << page))

    def command(self, apdu):
        ins, p1, page = apdu[1], apdu[2], apdu[3]
        if ins == 0xB0:  # READ BINARY: four pages from P2, rolling over to page 0 (§10.2)
            if len(apdu) != 5 or apdu[4] not in (0x00, 0x10):
                return WRONG_LENGTH
            if p1 != 0 or page > self.LAST_PAGE:
                return FAILED  # the tag's NAK
            protect_reads = self.pages[self.CFG1][0] & 0x80
            out = b""
            for k in range(4):
                at = (page + k) % (self.LAST_PAGE + 1)
                if protect_reads and at >= self.auth0():
                    return FAILED
                # PWD and PACK always read back as zeros.
                out += bytes(4) if at in (self.PWD, self.PACK) else bytes(self.pages[at])
            return out + OK
        if ins == 0xD6:  # UPDATE BINARY: one page, 4 bytes (the tag's WRITE)
            if len(apdu) != 9 or apdu[4] != 4:
                return WRONG_LENGTH
            if p1 != 0 or page > self.LAST_PAGE or page < 2 or self.locked(page) or page >= self.auth0():
                return FAILED
            data = bytes(apdu[5:9])
            if page == 2:  # lock bytes are one-time programmable: bits only set (bytes 0-1 are the UID's)
                self.pages[2][2] |= data[2]
                self.pages[2][3] |= data[3]
            elif page == 3:  # the capability container is OTP as well
                for i in range(4):
                    self.pages[3][i] |= data[i]
            else:
                self.pages[page][:] = data
            return OK
        return BAD_INS


def answer(card, apdu):
    if len(apdu) < 4:
        return WRONG_LENGTH
    if apdu[0] != 0xFF:
        return BAD_CLA
    if apdu[1] == 0xCA:  # GET DATA: P1 00 the UID; P1 01 (historical bytes of an ATS) a storage card has none
        if apdu[2] != 0x00:
            return BAD_P1P2
        le = apdu[4] if len(apdu) >= 5 else 0
        if le not in (0, len(card.uid)):
            return bytes([0x6C, len(card.uid)])
        return card.uid + OK
    return card.command(apdu)


def receive_exactly(sock, count):
    data = b""
    while len(data) < count:
        chunk = sock.recv(count - len(data))
        if not chunk:
            raise ConnectionError("vpcd closed the connection")
        data += chunk
    return data


def serve(sock, card):
    while True:
        (length,) = struct.unpack(">H", receive_exactly(sock, 2))
        payload = receive_exactly(sock, length)
        if length == 1:
            control = payload[0]
            if control in (1, 2):
                card.power_on()
            elif control == 4:
                sock.sendall(struct.pack(">H", len(card.ATR)) + card.ATR)
            continue
        response = answer(card, payload)
        sock.sendall(struct.pack(">H", len(response)) + response)


def connect(port):
    # pcscd may still be loading vpcd: try for a while.
    deadline = time.monotonic() + 10
    while True:
        try:
            return socket.create_connection(("127.0.0.1", port))
        except OSError:
            if time.monotonic() > deadline:
                raise
            time.sleep(0.1)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--kind", choices=["mifare1k", "ntag215"], required=True)
    parser.add_argument("--port", type=int, default=35963)
    parser.add_argument("--uid", help="UID in hex (4 bytes for mifare1k, 7 for ntag215)")
    args = parser.parse_args()
    if args.kind == "mifare1k":
        card = MifareClassic1K(bytes.fromhex(args.uid or "A1B2C3D4"))
    else:
        card = Ntag215(bytes.fromhex(args.uid or "04A1B29FC3D4E5"))
    sock = connect(args.port)
    print("virtual card connected", flush=True)
    try:
        serve(sock, card)
    except ConnectionError:
        return 0
    return 0


if __name__ == "__main__":
    sys.exit(main())
