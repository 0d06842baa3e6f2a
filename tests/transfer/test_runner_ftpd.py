"""A pyftpdlib server with faults to order, for the transfer tests.

    /usr/bin/python3 test_runner_ftpd.py --root DIR [--no-rest] [--hostile] [--refuse-dele TEXT]
                                         [--log FILE]

Binds 127.0.0.1 on a free port, prints "PORT <n>" on its first output line and serves until killed.
User "tester", password "secret".
  --no-rest        REST is not understood (500), so resuming downloads is not possible.
  --hostile        LIST and MLSD of a directory named "hostile" add entries whose names are
                   "../evil", "a/b", "..", "../../up" and "a\\b".
MLSD lists names sorted, as LIST does, so tests can rely on the order.
  --refuse-dele    DELE of a name containing TEXT is answered 550.
  --log FILE       every command line received is appended to FILE.
  --refuse-list TEXT   LIST and NLST of a path containing TEXT are answered 550.
  --refuse-retr TEXT   RETR of a name containing TEXT is answered 550.
  --short-retr TEXT    RETR of a name containing TEXT sends half the file, then 226.
  --drop-retr TEXT     the same, and the control connection is closed after the 226.
  --hash-lie           FEAT offers HASH, whose answers are always wrong.
"""
import argparse
import os
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import BufferedIteratorProducer, FTPHandler, proto_cmds
from pyftpdlib.servers import FTPServer

HOSTILE_LINES = [
    "-rw-r--r--   1 tester   tester          5 Jan 01  2020 ../evil",
    "-rw-r--r--   1 tester   tester          5 Jan 01  2020 a/b",
    "drwxr-xr-x   2 tester   tester       4096 Jan 01  2020 ..",
    "drwxr-xr-x   2 tester   tester       4096 Jan 01  2020 ../../up",
    "-rw-r--r--   1 tester   tester          5 Jan 01  2020 a\\b",
]
HOSTILE_MLSD = ["type=file;size=5; ../evil", "type=file;size=5; a/b", "type=dir; ..", "type=dir; ../../up",
                "type=file;size=5; a\\b"]


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--root", required=True)
    ap.add_argument("--no-rest", action="store_true")
    ap.add_argument("--hostile", action="store_true")
    ap.add_argument("--refuse-dele", default="")
    ap.add_argument("--log", default="")
    ap.add_argument("--refuse-list", default="")
    ap.add_argument("--refuse-retr", default="")
    ap.add_argument("--short-retr", default="")
    ap.add_argument("--drop-retr", default="")
    ap.add_argument("--hash-lie", action="store_true")
    args = ap.parse_args()

    authorizer = DummyAuthorizer()
    authorizer.add_user("tester", "secret", args.root, perm="elradfmwMT")

    class Handler(FTPHandler):
        pass

    Handler.authorizer = authorizer
    if args.no_rest:
        Handler.proto_cmds = {k: v for k, v in proto_cmds.items() if k != "REST"}

    def pre_process_command(self, line, cmd, arg):
        if args.log:
            with open(args.log, "a") as f:
                f.write(line + "\n")
        return FTPHandler.pre_process_command(self, line, cmd, arg)

    Handler.pre_process_command = pre_process_command

    if args.hostile:
        def ftp_LIST(self, path):
            if os.path.basename(path.rstrip("/")) != "hostile":
                return FTPHandler.ftp_LIST(self, path)
            names = sorted(self.fs.listdir(path))
            lines = list(self.fs.format_list(path, names))
            lines += [(l + "\r\n").encode() for l in HOSTILE_LINES]
            self.push_dtp_data(BufferedIteratorProducer(iter(lines)), isproducer=True, cmd="LIST")
            return path

        Handler.ftp_LIST = ftp_LIST

    def ftp_MLSD(self, path):
        if args.refuse_list and args.refuse_list in path:
            self.respond("550 Permission denied.")
            return None
        if not self.fs.isdir(path):
            self.respond("501 No such directory.")
            return None
        names = sorted(self.fs.listdir(path))
        perms = self.authorizer.get_perms(self.username)
        lines = list(self.fs.format_mlsx(path, names, perms, self._current_facts))
        if args.hostile and os.path.basename(path.rstrip("/")) == "hostile":
            lines += [(l + "\r\n").encode() for l in HOSTILE_MLSD]
        self.push_dtp_data(BufferedIteratorProducer(iter(lines)), isproducer=True, cmd="MLSD")
        return path

    Handler.ftp_MLSD = ftp_MLSD

    if args.refuse_dele:
        def ftp_DELE(self, path):
            if args.refuse_dele in os.path.basename(path):
                self.respond("550 Permission denied.")
                return None
            return FTPHandler.ftp_DELE(self, path)

        Handler.ftp_DELE = ftp_DELE

    if args.refuse_list:
        for name in ("ftp_LIST", "ftp_NLST"):
            def refusing(self, path, _orig=getattr(FTPHandler, name)):
                if args.refuse_list in path:
                    self.respond("550 Listing refused.")
                    return None
                return _orig(self, path)
            setattr(Handler, name, refusing)

    if args.drop_retr:
        def respond(self, resp, logfun=None):
            FTPHandler.respond(self, resp)
            if getattr(self, "drop_after_226", False) and resp.startswith("226"):
                self.close_when_done()

        Handler.respond = respond

    if args.refuse_retr or args.short_retr or args.drop_retr:
        def ftp_RETR(self, file):
            base = os.path.basename(file)
            if args.refuse_retr and args.refuse_retr in base:
                self.respond("550 Not allowed.")
                return None
            if args.drop_retr and args.drop_retr in base:
                self.drop_after_226 = True
            if (args.short_retr and args.short_retr in base) or (args.drop_retr and args.drop_retr in base):
                with open(file, "rb") as f:
                    data = f.read()
                self.push_dtp_data(data[: len(data) // 2], isproducer=False, cmd="RETR")
                return file
            return FTPHandler.ftp_RETR(self, file)

        Handler.ftp_RETR = ftp_RETR

    if args.hash_lie:
        cmds = dict(Handler.proto_cmds)
        cmds["HASH"] = dict(cmds["SIZE"])
        Handler.proto_cmds = cmds

        def ftp_FEAT(self, line):
            self.push("211-Features supported:\r\n HASH\r\n SIZE\r\n REST STREAM\r\n211 End FEAT.\r\n")

        def ftp_HASH(self, path):
            self.respond("213 SHA-256 0-%d %s %s" % (os.path.getsize(path), "ab" * 32, os.path.basename(path)))

        Handler.ftp_FEAT = ftp_FEAT
        Handler.ftp_HASH = ftp_HASH

    server = FTPServer(("127.0.0.1", 0), Handler)
    print("PORT %d" % server.address[1], flush=True)
    sys.stdout.flush()
    server.serve_forever()


if __name__ == "__main__":
    main()
