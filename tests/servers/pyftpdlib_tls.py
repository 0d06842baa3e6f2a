# pyftpdlib with TLS required on the control and the data connections, for tests.
# Arguments: HOST PORT ROOT USER PASSWORD PASV_MIN PASV_MAX CERT KEY
import sys

from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import TLS_FTPHandler
from pyftpdlib.servers import FTPServer

host, port, root, user, password, pmin, pmax, cert, key = sys.argv[1:10]
authorizer = DummyAuthorizer()
authorizer.add_user(user, password, root, perm="elradfmwMT")
handler = TLS_FTPHandler
handler.authorizer = authorizer
handler.certfile = cert
handler.keyfile = key
handler.tls_control_required = True
handler.tls_data_required = True
handler.passive_ports = range(int(pmin), int(pmax) + 1)
FTPServer((host, int(port)), handler).serve_forever()
