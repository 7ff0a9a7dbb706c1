"""The script-based peer of bench/senders.py: pyserial, one write of the
line and CR LF, one blocking read of the reply byte.

    python3 pyserial_sender.py JOB [DEVICE]   (DEVICE defaults to $CNCSEND_COM1)
"""
import os
import sys

import serial


def main():
    device = sys.argv[2] if len(sys.argv) > 2 else os.environ["CNCSEND_COM1"]
    with open(sys.argv[1], "rb") as job, serial.Serial(device, 9600) as port:
        for line in job:
            port.write(line.rstrip(b"\r\n") + b"\r\n")
            if len(port.read(1)) != 1:
                sys.exit(1)


if __name__ == "__main__":
    main()
