#!/usr/bin/env python3
"""The transfer tests' misbehaving web server: answers that nginx will not give.

    fault_server.py ROOT PORT_FILE

Serves the files under ROOT on a free port of 127.0.0.1 (written to PORT_FILE once it
listens) as HTTP/1.0, one thread per connection. The first path element chooses the
answer, the rest names the file under ROOT:

    /plain/F     Content-Length and Last-Modified as a server sends them
    /nolength/F  no Content-Length, the body ends when the connection closes
    /zero/F      Content-Length: 0 and no body
    /cut/F       the full Content-Length, half the body, then the connection is closed
    /reset/F     the full Content-Length, half the body, then the connection is reset
    /long/F      the full Content-Length, then 10,000 bytes more than it says
    /baddate/F   Last-Modified: a text that is not a date
    /endless/F   no Content-Length and a body that never ends
    /slow/F      the full Content-Length, the body in 4 KB pieces every 200 ms
"""
import email.utils
import http.server
import os
import socket
import struct
import sys
import time

ROOT = os.path.realpath(sys.argv[1])
PORT_FILE = sys.argv[2]


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.0'
    server_version = 'ZFault/1'

    def log_message(self, fmt, *args):
        sys.stderr.write('%s %s\n' % (self.headers.get('User-Agent', '-'), fmt % args))

    def do_GET(self):
        parts = self.path.lstrip('/').split('/', 1)
        mode, name = (parts + [''])[:2]
        path = os.path.realpath(os.path.join(ROOT, name))
        if not path.startswith(ROOT + os.sep) or not os.path.isfile(path):
            self.send_error(404)
            return
        body = open(path, 'rb').read()
        modified = email.utils.formatdate(os.path.getmtime(path), usegmt=True)
        self.send_response(200)
        self.send_header('Content-Type', 'application/octet-stream')
        if mode not in ('nolength', 'endless'):
            self.send_header('Content-Length', '0' if mode == 'zero' else str(len(body)))
        self.send_header('Last-Modified', 'yesterday at noon' if mode == 'baddate' else modified)
        self.end_headers()
        try:
            if mode == 'zero':
                return
            if mode in ('cut', 'reset'):
                self.wfile.write(body[:len(body) // 2])
                self.wfile.flush()
                if mode == 'reset':  # closing with a zero linger time sends a reset
                    # A reset discards what the client has not read yet: give it time to
                    # take the headers, so the reset hits the transfer and not the open.
                    time.sleep(1.0)
                    self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack('ii', 1, 0))
                    self.connection.close()
                else:
                    self.connection.shutdown(socket.SHUT_RDWR)
                return
            if mode == 'endless':
                piece = b'endless ' * 1024
                while True:
                    self.wfile.write(piece)
            if mode == 'slow':
                for at in range(0, len(body), 4096):
                    self.wfile.write(body[at:at + 4096])
                    self.wfile.flush()
                    time.sleep(0.2)
                return
            self.wfile.write(body)
            if mode == 'long':
                self.wfile.write(b'X' * 10000)
        except (BrokenPipeError, ConnectionResetError):
            pass


server = http.server.ThreadingHTTPServer(('127.0.0.1', 0), Handler)
server.daemon_threads = True
with open(PORT_FILE + '.tmp', 'w') as out:
    out.write(str(server.server_address[1]))
os.replace(PORT_FILE + '.tmp', PORT_FILE)
server.serve_forever()
