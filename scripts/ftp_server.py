#!/usr/bin/python3
"""A small FTP server for tests and the demo: one user, active and passive mode, loopback only.

usage: ftp_server.py PORT ROOT USER PASSWORD [KIB_PER_SECOND]

With KIB_PER_SECOND, files are sent at most that fast and every finished or broken transfer
is logged ("RETR PATH completed=0|1 bytes=N").
"""
import logging
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler, ThrottledDTPHandler
from pyftpdlib.servers import FTPServer


def main():
    port, root, user, password = sys.argv[1:5]
    authorizer = DummyAuthorizer()
    authorizer.add_user(user, password, root, perm="elr")
    handler = FTPHandler
    handler.authorizer = authorizer
    handler.banner = "Pelvar test FTP server ready."
    # Answer a wrong password at once instead of after the default 3 s pause.
    handler.auth_failed_timeout = 0
    level = logging.WARNING
    if len(sys.argv) > 5:
        ThrottledDTPHandler.write_limit = int(sys.argv[5]) * 1024
        handler.dtp_handler = ThrottledDTPHandler
        level = logging.INFO
    logging.basicConfig(level=level)
    server = FTPServer(("127.0.0.1", int(port)), handler)
    server.serve_forever()


if __name__ == "__main__":
    main()
