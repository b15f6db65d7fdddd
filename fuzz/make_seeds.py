#!/usr/bin/python3
"""Writes the seed corpus of the fuzz targets into fuzz/corpus/<target>/.

The seeds are committed; run this again only to change them:

    /usr/bin/python3 fuzz/make_seeds.py

The input layouts are described at the top of each fuzz_<target>.cpp.
"""
import os
import struct
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
CORPUS = os.path.join(HERE, "corpus")


def crc16_aug_ccitt(data):
    """CRC-16, polynomial 0x1021, MSB first, preset 0x1D0F (the sensor's frame checksum)."""
    reg = 0x1D0F
    for byte in data:
        reg ^= byte << 8
        for _ in range(8):
            reg = ((reg << 1) ^ 0x1021) if reg & 0x8000 else (reg << 1)
            reg &= 0xFFFF
    return reg


def frame(mm, checked=False, damaged=False):
    f = struct.pack("<i", mm)
    if checked:
        crc = crc16_aug_ccitt(f)
        if damaged:
            crc ^= 0x0100
        f += bytes([crc >> 8, crc & 0xFF])
    return f


def temperature_frame(degrees, ok=True, checked=False):
    f = struct.pack("<bB", degrees, 1 if ok else 0)
    if checked:
        crc = crc16_aug_ccitt(f)
        f += bytes([crc >> 8, crc & 0xFF])
    return f


def write(target, name, data):
    folder = os.path.join(CORPUS, target)
    os.makedirs(folder, exist_ok=True)
    if isinstance(data, str):
        data = data.encode("latin-1")
    with open(os.path.join(folder, name), "wb") as f:
        f.write(data)


# ---- decoder ----------------------------------------------------------------

COMMANDS = ["", "X", "C", "T", "S", "M", "m", "G", "301 4\r"]
NO_ECHO = 0x7FFFFFFF


def decoder_input(status, command, fmt, unit, mode, records):
    """records: ("chunk", bytes) | ("idle", bytes) | ("second", bytes) | ("big", bytes) | ("repeat", n)."""
    out = bytearray([status, COMMANDS.index(command), fmt, unit, mode])
    for kind, value in records:
        if kind == "repeat":
            out += bytes([0xC0, 0x80 | (value - 1)])
            continue
        data = value.encode("latin-1") if isinstance(value, str) else value
        if kind == "big":
            n = len(data)
            out += bytes([0xC0 | (n >> 7), n & 0x7F]) + data
            continue
        assert len(data) < 64, "use big for chunks of 64 bytes and more"
        op = {"chunk": 0, "idle": 1, "second": 2}[kind]
        out += bytes([op << 6 | len(data)]) + data
    return bytes(out)


def chunks(data, sizes, kind="chunk"):
    """Cuts data into chunks of the given sizes (cycled)."""
    data = data.encode("latin-1") if isinstance(data, str) else data
    records, pos, i = [], 0, 0
    while pos < len(data):
        n = sizes[i % len(sizes)]
        records.append((kind, data[pos:pos + n]))
        pos += n
        i += 1
    return records


def info_block(profibus=False, rain=False, fmt=1, unit=1):
    lines = [
        ("Type:", "Profibus" if profibus else "Serial"),
        ("Serial-No:", "40217" if profibus else "30514"),
        ("Attenuator:", "2E" if rain else "2"),
        ("Version:", "3.12"),
        ("Build:", "0415"),
        ("Date:", "2019-11-04"),
        ("Pointer:", "off"),
        ("Temperature:", "23 C, OK"),
        ("101:", str(fmt)),
        ("111:", str(unit)),
        ("301:", "4"),
        ("302:", "1"),
        ("306:", "1"),
    ]
    if rain:
        lines += [("351:", "1"), ("352:", "20000"), ("353:", "512"), ("354:", "1000"), ("355:", "1")]
    if profibus:
        lines += [("610:", "17")]
    else:
        lines += [("401:", "1000"), ("402:", "9000"), ("501:", "10000"), ("603:", "0")]
    lines += [("601:", "5"), ("701:", "0"), ("702:", "1000"), ("801:", "200"), ("802:", "1013")]
    return "".join(k + " " + v + "\r\n" for k, v in lines) + "end\r\n"


def ascii_line(value, unit_text=None):
    text = "%12.3f" % value
    if unit_text:
        text += " " + unit_text
    return text + "\r\n"


def decoder_seeds():
    # Start-up: the banner, then the information block after "C".
    write("decoder", "connect_banner_then_info",
          decoder_input(0, "", 1, 1, 0, [("idle", "\r\nKOV ready\r\n"), ("idle", ""),
                                         ("big", info_block())]))
    write("decoder", "connect_info_rain_profibus",
          decoder_input(0, "C", 3, 0, 0, chunks(info_block(profibus=True, rain=True, fmt=3, unit=0), [40, 7, 63])))
    write("decoder", "connect_no_answer",
          decoder_input(0, "", 1, 1, 0, [("second", ""), ("second", ""), ("second", "")]))
    write("decoder", "connect_info_without_end",
          decoder_input(0, "C", 1, 1, 0, [("big", info_block()[:-5])] + [("second", "")] * 3))

    # ASCII distances, with and without unit, cut anywhere.
    stream = "\r\n" + "".join(ascii_line(v, "m") for v in (1.234, 1.2345, 12.5, -0.25, 999.999))
    write("decoder", "ascii_unit_m", decoder_input(2, "M", 1, 1, 0, chunks(stream, [5, 13, 1, 30])))
    stream = "\r\n" + "".join(ascii_line(v) for v in (1234, 1235, 0, 2000000))
    write("decoder", "ascii_mm", decoder_input(2, "m", 0, 0, 0, chunks(stream, [16])))
    stream = "\r\n" + "%12s\r\n" % "No Echo" + ascii_line(3.5, "ft") + "%12s\r\n" % "TempErr!"
    write("decoder", "ascii_noecho_temperr", decoder_input(2, "m", 1, 3, 0, chunks(stream, [14, 14, 20])))
    write("decoder", "ascii_no_unit", decoder_input(2, "M", 1, 7, 0, chunks("\r\n" + ascii_line(1.5, "m") * 3, [14])))
    write("decoder", "ascii_partial_then_silence",
          decoder_input(2, "m", 1, 1, 2, [("chunk", "\r\n    1.2"), ("second", ""), ("second", ""), ("second", ""),
                                          ("second", "")]))
    write("decoder", "ascii_repeated",
          decoder_input(2, "m", 1, 2, 1, [("chunk", "\r\n"), ("chunk", ascii_line(12.25, "in")), ("repeat", 100)]))

    # Binary frames without checksum: distances, markers, small negatives, garbage.
    stream = b"".join(frame(v) for v in (1234, 98765, NO_ECHO, 0x7FFFFFF0, -5, 1))
    write("decoder", "binary_frames", decoder_input(2, "M", 2, 0, 0, chunks(stream, [3, 5, 4, 1])))
    write("decoder", "binary_garbage", decoder_input(2, "m", 2, 1, 0, chunks(b"\x00\x01\x02" + frame(4321) + b"\xAA" + frame(4322), [4])))
    write("decoder", "binary_repeated", decoder_input(2, "m", 2, 4, 0, [("chunk", frame(20000) * 8), ("repeat", 50)]))

    # Binary frames with checksum, one damaged.
    stream = b"".join(frame(v, True) for v in (1234, 5678, NO_ECHO)) + frame(42, True, damaged=True) + frame(43, True)
    write("decoder", "binary_crc_frames", decoder_input(2, "M", 3, 0, 0, chunks(stream, [6, 2, 7, 3])))
    write("decoder", "binary_crc_units", decoder_input(2, "m", 3, 6, 0, chunks(frame(1852000, True) * 3, [18])))

    # Temperatures: ASCII line, binary and checked binary answer to "T".
    write("decoder", "temperature_ascii", decoder_input(1, "T", 1, 1, 0, chunks("Temp.  23 C, OK\r\n", [9, 8])))
    write("decoder", "temperature_ascii_nok", decoder_input(1, "T", 0, 1, 0, [("chunk", "Temp. -10 C, NOK\r\n")]))
    write("decoder", "temperature_binary", decoder_input(1, "T", 2, 1, 0, [("chunk", temperature_frame(23))]))
    write("decoder", "temperature_binary_crc",
          decoder_input(2, "T", 3, 1, 0, [("chunk", temperature_frame(-10, ok=False, checked=True))]))
    write("decoder", "temperature_during_measuring",
          decoder_input(2, "m", 1, 1, 0, chunks("\r\n" + ascii_line(1.0, "m") + "Temp.  25 C, OK\r\n" + ascii_line(1.1, "m"), [20])))

    # Parameter write answers, stop, restart, keep-alive, silence.
    write("decoder", "parameter_ok", decoder_input(1, "301 4\r", 1, 1, 0, [("chunk", "OK\r\n")]))
    write("decoder", "parameter_err", decoder_input(1, "301 4\r", 1, 1, 0, [("chunk", "ER"), ("chunk", "R\r\n")]))
    write("decoder", "parameter_no_answer", decoder_input(1, "301 4\r", 1, 1, 0, [("second", "")] * 3))
    write("decoder", "stop_with_tail",
          decoder_input(2, "S", 3, 1, 0, [("chunk", frame(10, True))] + [("second", frame(11, True))] * 2))
    write("decoder", "restart_while_measuring", decoder_input(2, "m", 1, 1, 0, [("chunk", "\r\nKOV ready\r\n")]))
    write("decoder", "single_value", decoder_input(1, "G", 1, 1, 0, [("second", "\r\n" + ascii_line(2.5, "m"))]))
    write("decoder", "idle_keepalive", decoder_input(1, "", 1, 1, 0, [("second", "")] * 4))
    write("decoder", "idle_info_block", decoder_input(1, "X", 2, 1, 0, [("big", info_block(fmt=2))]))


# ---- information block -----------------------------------------------------

def infoblock_seeds():
    write("infoblock", "serial", info_block())
    write("infoblock", "serial_rain_filter", info_block(rain=True))
    write("infoblock", "profibus", info_block(profibus=True, rain=True))
    write("infoblock", "old_306_key", info_block().replace("306:", "3 06:"))
    write("infoblock", "serial_with_node_address", info_block().replace("end\r\n", "610: 12\r\nend\r\n"))
    write("infoblock", "no_end", info_block()[:-5])
    write("infoblock", "end_before_type", "end\r\n" + info_block())
    write("infoblock", "decimals_and_signs", "Type: Serial\r\n101: 2.5\r\n701: -12\r\n702: +1000\r\n802: 1e3\r\nend")
    write("infoblock", "lines", "\r\n    1.234 m\r\nTemp.  23 C, OK\r\n-10 C, NOK\r\n%12s\r\n" % "No Echo")


# ---- INI -------------------------------------------------------------------

def ini_input(what, section, key, value, content, utf8_value=False):
    # The target makes byte b of the value into chr(0x20 + b % 96), 95 into a tab.
    coded = bytes(95 if c == "\t" else ord(c) - 0x20 for c in value)
    head = bytes([what | (0x80 if utf8_value else 0), section, key, len(value)])
    return head + coded + content


def ini_seeds():
    kov = (b"[PORTS]\r\n1=/dev/ttyUSB0\r\n2=SIMULATOR\r\n\r\n[SETTINGS]\r\nLanguage=1\r\nBaudrate=38400\r\n"
           b"Interval=0,5\r\n; a comment\r\n")
    write("ini", "bom_crlf_replace", ini_input(0, 1, 0, "2", b"\xEF\xBB\xBF" + kov))
    write("ini", "crlf_replace", ini_input(0, 0, 1, "/dev/ttyACM0", kov))
    write("ini", "crlf_new_key", ini_input(1, 1, 7, "x = y", kov))
    write("ini", "crlf_new_section", ini_input(2, 3, 0, "value", kov))
    write("ini", "other_case", ini_input(3, 0, 0, " padded ", kov, utf8_value=True))
    write("ini", "lf_no_final_line_end", ini_input(1, 0, 2, "1", b"[a]\nx=1\ny = 2"))
    write("ini", "empty_file", ini_input(2, 0, 0, "v", b""))
    write("ini", "duplicates", ini_input(0, 0, 0, "3", b"[A]\r\nk=1\r\nK=2\r\n[a]\r\nk=3\r\n"))
    write("ini", "cp1252_and_nul", ini_input(0, 0, 0, "neu", b"[Gr\xfc\xdfe]\r\nSch\xe4rfe=hoch\r\nn\x00ul=1\r\n"))
    write("ini", "comments_and_junk", ini_input(1, 0, 0, "", b"# top\n[s] trailing\n=novalue\njunk line\n[unclosed\nk=v\n"))
    # A key added in front of a line that starts with LF, in a file whose first line ends in a lone CR.
    write("ini", "lone_cr_before_empty_line", ini_input(1, 0, 0, "v", b"a=1\r[s]\n\n[t]\n"))


# ---- configuration files ---------------------------------------------------

def kov_file(description=b"Halle 3", eol=b"\r\n", **values):
    keys = ["Baudrate", "DistanceUnit", "OutputMode", "OutputFormat", "NodeAddress", "AutoStart", "AverageDepth",
            "MovingAverage", "TimeOut", "BoundChecking", "Blanking", "RainFilter", "DistanceWindow",
            "EchoThreshold", "DistanceLimit", "ValidMeasurements", "Offset", "ScaleFactor", "Temperature",
            "AirPressure", "S1Logic", "S1OnThreshold", "S1OffThreshold", "S2Logic", "S2OnThreshold",
            "S2OffThreshold", "AnalogOutput", "AnalogMin", "AnalogMax"]
    lines = [b"[KOV]"]
    if description is not None:
        lines.append(b"Description=" + description)
    for key in keys:
        if key in values:
            lines.append(key.encode("ascii") + b"=" + str(values[key]).encode("latin-1"))
    return eol.join(lines) + eol


def kovfile_seeds():
    full = dict(Baudrate=5, DistanceUnit=0, OutputMode=2, OutputFormat=3, NodeAddress=-1, AutoStart=1,
                AverageDepth=2, MovingAverage=1, TimeOut=3, BoundChecking=0, Blanking=1, RainFilter=1,
                DistanceWindow=15000, EchoThreshold=300, DistanceLimit=1500, ValidMeasurements=5, Offset=-250,
                ScaleFactor=1500, Temperature=-55, AirPressure=950, S1Logic=0, S1OnThreshold=5000,
                S1OffThreshold=4000, S2Logic=0, S2OnThreshold=3000, S2OffThreshold=2500, AnalogOutput=1,
                AnalogMin=-500, AnalogMax=20000)
    write("kovfile", "serial_windows", kov_file(b"Pr\xfcfstand Gr\xf6\xdfe \x80", **full))
    write("kovfile", "profibus_lf", kov_file(b"Profibus 17", b"\n", **dict(full, NodeAddress=17)))
    write("kovfile", "out_of_range", kov_file(b"repariert", DistanceUnit=9, AirPressure=2000, ScaleFactor=40000,
                                              NodeAddress=-5, Temperature=900, RainFilter=7, S1OnThreshold=2000000))
    write("kovfile", "address_too_high", kov_file(b"x", NodeAddress=200, S1Logic="abc"))
    write("kovfile", "not_a_number", kov_file(b"x", Baudrate="schnell"))
    write("kovfile", "overflow", kov_file(b"x", Offset="99999999999", DistanceWindow="-2147483648"))
    write("kovfile", "no_description", kov_file(None, Baudrate=2))
    write("kovfile", "only_description", b"\xef\xbb\xbf[kov]\r\n  description =  \t nur Name \x01 \r\n")
    write("kovfile", "twice", kov_file(b"erste") + kov_file(b"zweite", AirPressure=1100) +
          b"[KOV]\r\nAirPressure=900\r\n")
    write("kovfile", "empty", b"")
    write("kovfile", "binary", bytes(range(256)))


# ---- numbers ---------------------------------------------------------------

def number_input(comma, text=b"", doubles=()):
    return bytes([1 if comma else 0]) + b"".join(struct.pack("=d", d) for d in doubles) + text


def numbers_seeds():
    write("numbers", "point_plain", number_input(False, b"12.5"))
    write("numbers", "comma_plain", number_input(True, b"12,5"))
    write("numbers", "comma_grouped", number_input(True, b"1.234.567,89"))
    write("numbers", "point_grouped", number_input(False, b"-1,234,567.5"))
    write("numbers", "other_separator_once", number_input(True, b"  0.0001  "))
    write("numbers", "exponent", number_input(False, b"2.5E-05"))
    write("numbers", "exponent_comma", number_input(True, b"-1E+16"))
    write("numbers", "not_a_number", number_input(False, b"1.2.3"))
    write("numbers", "doubles", number_input(False, doubles=(0.1 + 0.2, 1e15, -123456789012345.0, 1e-4)))
    write("numbers", "doubles_comma", number_input(True, doubles=(2.5e-5, 5e-324, 1e308, -0.0)))
    largest = sys.float_info.max
    write("numbers", "doubles_largest", number_input(False, doubles=(largest, -largest, 1.7976931348623150e308,
                                                                     sys.float_info.min)))


# ---- telnet -----------------------------------------------------------------

IAC, DONT, DO, WONT, WILL, SB, SE, NOP = 255, 254, 253, 252, 251, 250, 240, 241
BINARY, ECHO, SGA, COM_PORT = 0, 1, 3, 44


def telnet_input(chunk, start, stream):
    return bytes([chunk - 1, 1 if start else 0]) + stream


def com_port(code, value=b""):
    return bytes([IAC, SB, COM_PORT, code]) + value.replace(b"\xff", b"\xff\xff") + bytes([IAC, SE])


def telnet_seeds():
    # What a ser2net 4 accepter "telnet(rfc2217)" sends on a new connection.
    opening = bytes([IAC, WILL, SGA, IAC, DO, SGA, IAC, WILL, ECHO, IAC, DONT, ECHO,
                     IAC, DO, BINARY, IAC, WILL, BINARY, IAC, DO, COM_PORT])
    frames = frame(0x7FFFFFFF, checked=True) + frame(0x00FF00FF, checked=True)
    escaped = frames.replace(b"\xff", b"\xff\xff")
    write("telnet", "ser2net_opening", telnet_input(64, True, opening))
    write("telnet", "opening_one_byte_at_a_time", telnet_input(1, True, opening + b"\r\nKOV ready\r\n"))
    write("telnet", "speed_replies", telnet_input(5, True, opening + com_port(107, b"\x00") +
                                                 com_port(101, struct.pack(">I", 38400)) +
                                                 com_port(112, b"\x03") + com_port(106, b"\x0e")))
    write("telnet", "binary_frames", telnet_input(7, True, opening + escaped * 3))
    write("telnet", "refused_com_port", telnet_input(3, True, bytes([IAC, DONT, COM_PORT, IAC, WONT, BINARY])))
    write("telnet", "not_binary_cr_nul", telnet_input(2, False, b"Sensor ready\r\x00\r\n12.345 m\r\x00"))
    write("telnet", "subnegotiation_without_se", telnet_input(4, True, bytes([IAC, SB, COM_PORT, 101, 0, 0, IAC, WILL,
                                                                              BINARY]) + b"data"))
    write("telnet", "long_subnegotiation", telnet_input(64, True, bytes([IAC, SB, COM_PORT]) + b"\x01" * 300 +
                                                       bytes([IAC, SE, IAC, NOP]) + b"after"))
    write("telnet", "offers_and_withdrawals", telnet_input(3, True, bytes([IAC, WILL, 5, IAC, DO, 24, IAC, WONT, SGA,
                                                                           IAC, DONT, BINARY, IAC, DO, BINARY,
                                                                           IAC, WILL, BINARY, IAC, WONT, BINARY])))
    write("telnet", "cut_after_iac", telnet_input(1, True, b"abc" + bytes([IAC])))


if __name__ == "__main__":
    decoder_seeds()
    infoblock_seeds()
    ini_seeds()
    numbers_seeds()
    kovfile_seeds()
    telnet_seeds()
