"""Writes a UTF-8 text file in code page 437 with CR LF line ends, the way
a Windows console shows it (type README.TXT)."""
import sys

with open(sys.argv[1], encoding="utf-8") as source:
    text = source.read()
with open(sys.argv[2], "wb") as target:
    target.write(text.replace("\r\n", "\n").replace("\n", "\r\n").encode("cp437"))
