#!/usr/bin/python3
"""Writes the published Windows-1252 mapping as Python's cp1252 codec has it: one line per
byte, "XX UUUU" (hex byte, hex code point), or "XX -" for the five bytes the code page leaves
undefined. usage: make_mapping.py > mapping.txt"""
for b in range(256):
    try:
        print("%02X %04X" % (b, ord(bytes([b]).decode("cp1252"))))
    except UnicodeDecodeError:
        print("%02X -" % b)
