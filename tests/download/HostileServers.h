#pragma once

#include "Env.h"
#include "Servers.h"
#include "TempDir.h"

#include <memory>
#include <string>

namespace pelvar::test {

// A small Python server on 127.0.0.1 written by the test: `body` is the script's code after
// a prelude that defines PORT (argv[1]) and ARGS (the rest). Every request it sees is meant
// to be recorded by the script itself.
class PythonServer {
  public:
    PythonServer(const std::string& body, const std::vector<std::string>& args = {})
        : port_(freePort()) {
        const std::string script = dir_ / "server.py";
        writeFile(script, "import os, socket, sys, threading, time\n"
                          "PORT = int(sys.argv[1])\nARGS = sys.argv[2:]\n" +
                              body);
        std::vector<std::string> argv{"/usr/bin/python3", script, std::to_string(port_)};
        argv.insert(argv.end(), args.begin(), args.end());
        process_ = std::make_unique<ChildProcess>(argv, dir_ / "server.log");
        if (!waitForPort(port_, 10)) {
            throw std::runtime_error("python server did not start: " +
                                     readFile(dir_ / "server.log"));
        }
    }
    int port() const { return port_; }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }

  private:
    TempDir dir_;
    int port_;
    std::unique_ptr<ChildProcess> process_;
};

// An HTTP server that serves files of ARGS[0] and misbehaves on archives (names ending in
// ".zip") as ARGS[1] says: "trickle" (a byte every 0.2 s for at most 15 s), "endless" (a body
// without length, 64 MiB at most), "drop" (5000 of 100000 promised bytes). Paths below /loop/
// redirect to themselves, below /file/ to a local file.
inline const char* misbehavingHttp() {
    return R"PY(
ROOT, MODE = ARGS
def serve(c):
    try:
        req = b''
        while b'\r\n\r\n' not in req:
            d = c.recv(4096)
            if not d:
                return
            req += d
        path = req.split(b' ')[1].decode()
        if path.startswith(('/loop/', '/file/')):
            to = path if path.startswith('/loop/') else 'file:///etc/passwd'
            c.sendall(b'HTTP/1.1 302 Found\r\nLocation: %s\r\nContent-Length: 0\r\n'
                      b'Connection: close\r\n\r\n' % to.encode())
        elif path.endswith('.zip') and MODE == 'trickle':
            c.sendall(b'HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n')
            end = time.time() + 15
            while time.time() < end:
                c.sendall(b'x'); time.sleep(0.2)
        elif path.endswith('.zip') and MODE == 'endless':
            c.sendall(b'HTTP/1.0 200 OK\r\n\r\n')
            for i in range(1024):
                c.sendall(b'\0' * 65536)
        elif path.endswith('.zip') and MODE == 'drop':
            c.sendall(b'HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\n' + b'x' * 5000)
        else:
            p = os.path.join(ROOT, path.lstrip('/'))
            if os.path.isfile(p):
                body = open(p, 'rb').read()
                c.sendall(b'HTTP/1.1 200 OK\r\nContent-Length: %d\r\nConnection: close\r\n\r\n'
                          % len(body) + body)
            else:
                c.sendall(b'HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n')
    except OSError:
        pass
    finally:
        c.close()
s = socket.socket(); s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
s.bind(('127.0.0.1', PORT)); s.listen(16)
while True:
    c, _ = s.accept()
    threading.Thread(target=serve, args=(c,), daemon=True).start()
)PY";
}

// pyftpdlib with every command line written to ARGS[3]; a RETR of a name holding "_04"
// is refused with 426, as a server does when the data connection breaks.
inline const char* recordingFtp() {
    return R"PY(
from pyftpdlib.authorizers import DummyAuthorizer
from pyftpdlib.handlers import FTPHandler
from pyftpdlib.servers import FTPServer
ROOT, USER, PASSWORD, COMMANDS = ARGS
class Handler(FTPHandler):
    auth_failed_timeout = 0
    def pre_process_command(self, line, cmd, arg):
        with open(COMMANDS, 'a') as f:
            f.write(line + '\n')
        return FTPHandler.pre_process_command(self, line, cmd, arg)
    def ftp_RETR(self, file):
        if '_04' in os.path.basename(file):
            self.respond('426 Connection closed; transfer aborted.')
            return
        return FTPHandler.ftp_RETR(self, file)
authorizer = DummyAuthorizer()
authorizer.add_user(USER, PASSWORD, ROOT, perm='elr')
Handler.authorizer = authorizer
FTPServer(('127.0.0.1', PORT), Handler).serve_forever()
)PY";
}

} // namespace pelvar::test
