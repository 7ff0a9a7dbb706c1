"""The Windows zip: one folder with cncsend.exe, down.cfg and a README in
code page 437 with CR LF line ends.

    python3 tests/package/check_windows_zip.py build-win32/cncsend-1.0.0-win32.zip
"""
import sys
import zipfile

with zipfile.ZipFile(sys.argv[1]) as archive:
    names = sorted(name.split("/", 1)[1] for name in archive.namelist() if not name.endswith("/"))
    assert names == ["README.TXT", "cncsend.exe", "down.cfg"], names
    folder = archive.namelist()[0].split("/", 1)[0]
    readme = archive.read(f"{folder}/README.TXT")
    exe = archive.read(f"{folder}/cncsend.exe")
assert exe[:2] == b"MZ" and b"PE\0\0\x4c\x01" in exe[:1024], "not a 32-bit Windows program"
assert readme.count(b"\n") == readme.count(b"\r\n") > 10, "line ends are not CR LF"
# The umlauts of the quoted operator texts, as the console shows them.
assert "Fräserhöhe einstellen, Return für weiter".encode("cp437") in readme
assert all(b < 0x80 or b in b"\x84\x94\x81" for b in readme), "bytes beyond the umlauts"
print("ok   windows zip")
