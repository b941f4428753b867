#!/usr/bin/env python3
"""Writes the seed inputs of the fuzz targets into seeds/<target>/.

Each seed is a small, well-formed run of its target (see the input layout at
the top of fuzz_<target>.cpp), so that the fuzzer starts from paths that reach
deep: complete replies, record streams with end markers, UART reports, and
settings files with sections, comments and Hangul text.
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def write(target, name, data):
    folder = os.path.join(HERE, "seeds", target)
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, name), "wb") as f:
        f.write(bytes(data))


def framed_piece(delay_steps, command, payload):
    return [0x80 | delay_steps, command, len(payload)] + list(payload)


def raw_piece(delay_steps, data):
    return [delay_steps, len(data)] + list(data)


def frame(command, payload):
    body = [0x02, len(payload) + 1, command] + list(payload)
    check = 0
    for b in body:
        check ^= b
    return body + [check, 0x03]


def record(year, month, day, hour, minute, second, force, cell):
    return [year >> 8, year & 0xFF, month, day, hour, minute, second, force >> 8, force & 0xFF, cell]


def link_seeds():
    name = b"BREVANE01"
    # Identity read answered whole after 100 ms.
    write("link", "exchange_name", [0, 0, 0, 0x31, 1, 0x00, 0, 1] + framed_piece(5, 0x31, name))
    # The same reply in three pieces, with stale bytes waiting before the request.
    reply = frame(0x31, name)
    write("link", "exchange_pieces",
          [0, 0, 0, 0x31, 1, 0x00, 3, 0x02, 0x01, 0x03, 3]
          + raw_piece(2, reply[:4]) + raw_piece(3, reply[4:9]) + raw_piece(1, reply[9:]))
    # Firmware head in a long frame.
    write("link", "long_exchange", [0, 1, 0, 0x49, 0x00, 0x02, 0x33, 0x55, 0, 1] + framed_piece(10, 0x49, [0]))
    # Stored records of six days, one after the end date, then the end marker.
    records = [record(2025, 12, 5 + i, 10, 20, 30, 1234 + i, i % 4) for i in range(3)]
    pieces = [framed_piece(2, 0x35, r) for r in records]
    pieces.append(framed_piece(1, 0x35, record(2026, 3, 1, 0, 0, 0, 98, 0)))
    pieces.append(framed_piece(1, 0x35, [0] * 10))
    write("link", "memory_stream",
          [0, 2, 0, 0xFF, 0xFC, 0x00, 0x30, 0, len(pieces)] + sum(pieces, []))
    # Continuous series: a header announcing two records, and both.
    summary = [2, 0x30, 0x39, 0x00, 0x05, 0x40, 0x00, 0x00, 0x10]
    pieces = [framed_piece(25, 0x41, summary)]
    pieces += [framed_piece(1, 0x42, [i] + record(2025, 12, 6, 9, 0, i, 500 + i, 1)) for i in range(2)]
    write("link", "output_stream", [0, 3, 0, 0, len(pieces)] + sum(pieces, []))
    # Stored records cancelled after the second row.
    write("link", "memory_cancelled",
          [0, 2, 2, 0xFF, 0xFC, 0x00, 0x30, 0, 3] + sum([framed_piece(2, 0x35, r) for r in records], []))
    # A series cut short, then an identity read on the re-opened link.
    pieces = [framed_piece(25, 0x41, [3] + [0] * 8), framed_piece(1, 0x42, [0] + record(2025, 1, 1, 0, 0, 0, 1, 2))]
    write("link", "output_then_exchange",
          [0, 3, 0, 0, len(pieces)] + sum(pieces, []) + [0, 0, 0x30, 1, 0x00, 0, 1] + framed_piece(5, 0x30, b"1.02"))


def decoder_seeds():
    write("decoders", "records",
          [0] + record(2025, 12, 6, 23, 59, 59, 65535, 2)
          + [0] + record(2025, 13, 0, 24, 60, 60, 98, 7)
          + [1, 3, 0x30, 0x39, 0x00, 0x05, 0x40, 0x00, 0x00, 0x10])
    write("decoders", "calibration_clock",
          [2] + [0x00, 0x10, 0x00] * 5 + [0x08, 0x00, 0x0B, 0xE8, 0x04, 0x18]
          + [3, 0x07, 0xE9, 12, 6, 10, 30, 0, 0x78, 0x56, 0x34, 0x12, 0x00, 0x00])
    hangul = "압력".encode("cp949")
    write("decoders", "texts",
          [4, 9] + list(b"BREVANE" + hangul[:2]) + [4, 11] + list(b"SN-0001\x00\xff  ")
          + [5, 9, len("압력계 01".encode())] + list("압력계 01".encode()))
    write("decoders", "firmware", [6, 0x00, 0x06, 0x33, 0x55, 1, 2, 3, 4])


def hid_seeds():
    def report(data):
        return [0xF0 + (len(data) - 1) // 4, len(data)] + list(data)
    reports = [report(frame(0x31, b"BREVANE01")), [0xB1, 0x01], report(bytes(range(60)))]
    body = []
    for r in reports:
        body += [len(r) - 1] + r
    # Chip mode 0, power saving on, UART on interface 1.
    write("hid_reports", "uart_reports",
          [0x14, 6] + frame(0x31, [0]) + [len(reports)] + body + [64, 16, 64, 64, 8, 9])
    # UART-only mode on an unknown interface, a report claiming too much.
    bad = [0xF3, 40, 1, 2, 3]
    write("hid_reports", "short_claims", [0x02, 0, 2, len(bad) - 1] + bad + [len(report(b"ok")) - 1] + report(b"ok"))


def settings_seeds():
    def settings(content, sets):
        data = list(struct.pack(">H", len(content))) + list(content) + [len(sets)]
        for section, key, value in sets:
            for text in (section, key, value):
                data += [len(text)] + list(text)
        return data
    report = "[REPORT]\r\nCOMPANY=브레인 계측\r\nREPORT_NAME=월간 점검\r\n; 작성자\r\nUSER_NAME=\r\n\r\n[OTHER]\r\nX = \" kept \"\r\n"
    write("settings", "report_crlf", settings(report.encode(),
                                              [(b"REPORT", b"user_name", "홍 길동".encode()),
                                               (b"REPORT", b"NEW", b'  "quoted"  ')]))
    write("settings", "cp949_file", settings("[report]\nCOMPANY=압력\n".encode("cp949"),
                                             [(b"REPORT", b"COMPANY", b"line\nbreak")]))
    write("settings", "utf16_file", settings(b"\xff\xfe" + "[A]\nk=v\n".encode("utf-16-le"),
                                             [(b"B", b"k", b"v2"), (b"bad]", b"k", b"x")]))
    write("settings", "empty_file", settings(b"", [(b"REPORT", b"COMPANY", b"")]))


if __name__ == "__main__":
    link_seeds()
    decoder_seeds()
    hid_seeds()
    settings_seeds()
