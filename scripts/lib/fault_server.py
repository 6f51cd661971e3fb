#!/usr/bin/env python3
"""The transfer tests' misbehaving web server: answers that nginx will not give.

    fault_server.py ROOT PORT_FILE [PORT]

Serves the files under ROOT on 127.0.0.1 (PORT, else a free port, written to PORT_FILE
once it listens) as HTTP/1.0, one thread per connection. The first path element chooses
the answer, the rest names the file under ROOT:

    /plain/F     Content-Length and Last-Modified as a server sends them
    /nolength/F  no Content-Length, the body ends when the connection closes
    /zero/F      Content-Length: 0 and no body
    /cut/F       the full Content-Length, half the body, then the connection is closed
    /reset/F     the full Content-Length, half the body, then the connection is reset
    /long/F      the full Content-Length, then 10,000 bytes more than it says
    /baddate/F   Last-Modified: a text that is not a date
    /endless/F   no Content-Length and a body that never ends
    /slow/F      the full Content-Length, the body in 4 KB pieces every 200 ms

    /status-N/F       status N with a short plain-text body (204 and 304: no body)
    /status-N-html/F  status N with the HTML error page a server shows
    /redirect-loop/F  302 to the same URL, for ever
    /redirect-to-P/F  302 to the same file on port P of 127.0.0.1
    /chunked/F        HTTP/1.1, Transfer-Encoding: chunked, 1,000-byte chunks
    /chunked-cut/F    the same, closed after half the body without the last chunk
    /cut-none/F       the connection closed before any answer
    /cut-header/F     half a header, then closed
    /cut-body0/F      the full header, then closed before the body
    /cut-last/F       all but the last byte of the body, then closed
    /trickle/F        the body in 20 pieces, 250 ms apart
    /stall/F          half the body, 8 s of silence, then the rest
    /huge-header/F    1 MB of header lines before the body
    /endless-header/F header lines that never end
    /silent/F         the request read, then 60 s of silence before the connection is closed
    /silent-body/F    the full header, then 60 s of silence before the connection is closed
    /big-N/F          a header with Content-Length N (any size), then closed before the body
    /length-N/F       a header with Content-Length N as given ("-2", "4294967294"), then a
                      body that never ends (about 4 MB/s)
    /drip/F           the full Content-Length, then the body a byte every 500 ms

    /now/F       the answer named in the file "mode" beside PORT_FILE (read at each request,
                 "plain" when there is none), so a client with a fixed URL meets them all;
                 the stub's touches and size queries (user agent "HTTP_Connect_2") get the
                 plain answer, so that a size check lets its download go ahead
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
PORT = int(sys.argv[3]) if len(sys.argv) > 3 else 0
MODE_FILE = os.path.join(os.path.dirname(os.path.abspath(PORT_FILE)), 'mode')

REASONS = {204: 'No Content', 301: 'Moved Permanently', 302: 'Found', 304: 'Not Modified',
           400: 'Bad Request', 401: 'Unauthorized', 403: 'Forbidden', 404: 'Not Found',
           500: 'Internal Server Error', 503: 'Service Unavailable'}


def current_mode():
    try:
        with open(MODE_FILE) as f:
            return f.read().strip() or 'plain'
    except OSError:
        return 'plain'


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = 'HTTP/1.0'
    server_version = 'ZFault/1'

    def log_message(self, fmt, *args):
        sys.stderr.write('%s %s\n' % (self.headers.get('User-Agent', '-'), fmt % args))

    def raw(self, data):
        self.wfile.write(data)
        self.wfile.flush()

    def close_now(self):
        self.connection.shutdown(socket.SHUT_RDWR)
        self.close_connection = True

    def do_GET(self):
        parts = self.path.lstrip('/').split('/', 1)
        mode, name = (parts + [''])[:2]
        if mode == 'now':
            mode = 'plain' if self.headers.get('User-Agent') == 'HTTP_Connect_2' else current_mode()
        try:
            self.answer(mode, name)
        except (BrokenPipeError, ConnectionResetError):
            pass

    def answer(self, mode, name):
        if mode.startswith('status-'):
            return self.status_answer(mode)
        if mode == 'redirect-loop':
            self.send_response(302)
            self.send_header('Location', self.path)
            self.send_header('Content-Length', '0')
            self.end_headers()
            return
        if mode.startswith('redirect-to-'):
            self.send_response(302)
            self.send_header('Location', 'http://127.0.0.1:%s/%s' % (mode[len('redirect-to-'):], name))
            self.send_header('Content-Length', '0')
            self.end_headers()
            return
        if mode == 'cut-none':
            return self.close_now()
        if mode == 'silent':
            time.sleep(60)
            return self.close_now()
        if mode == 'silent-body':
            self.send_response(200)
            self.send_header('Content-Type', 'application/octet-stream')
            self.send_header('Content-Length', str(os.path.getsize(os.path.join(ROOT, name))))
            self.end_headers()
            self.wfile.flush()
            time.sleep(60)
            return self.close_now()
        if mode == 'cut-header':
            self.raw(b'HTTP/1.0 200 OK\r\nContent-Ty')
            return self.close_now()
        if mode.startswith('big-'):
            self.send_response(200)
            self.send_header('Content-Type', 'application/octet-stream')
            self.send_header('Content-Length', mode[len('big-'):])
            self.end_headers()
            self.wfile.flush()
            return self.close_now()
        if mode.startswith('length-'):
            self.send_response(200)
            self.send_header('Content-Type', 'application/octet-stream')
            self.send_header('Content-Length', mode[len('length-'):])
            self.end_headers()
            # About 4 MB/s: a client that closes meanwhile finds no data waiting (Wine's
            # WinINet reads what is waiting of a known length when a request is closed).
            piece = b'endless ' * 1024
            while True:
                self.raw(piece)
                time.sleep(0.002)
        if mode == 'endless-header':
            self.raw(b'HTTP/1.0 200 OK\r\n')
            line = b'X-Filler: ' + b'f' * 1000 + b'\r\n'
            while True:
                self.wfile.write(line)

        path = os.path.realpath(os.path.join(ROOT, name))
        if not path.startswith(ROOT + os.sep) or not os.path.isfile(path):
            self.send_error(404)
            return
        body = open(path, 'rb').read()
        modified = email.utils.formatdate(os.path.getmtime(path), usegmt=True)
        if mode in ('chunked', 'chunked-cut'):
            return self.chunked(body, modified, mode == 'chunked-cut')
        self.send_response(200)
        self.send_header('Content-Type', 'application/octet-stream')
        if mode not in ('nolength', 'endless'):
            self.send_header('Content-Length', '0' if mode == 'zero' else str(len(body)))
        self.send_header('Last-Modified', 'yesterday at noon' if mode == 'baddate' else modified)
        if mode == 'huge-header':
            for n in range(1000):
                self.send_header('X-Filler-%d' % n, 'h' * 1000)
        self.end_headers()
        if mode == 'zero':
            return
        if mode in ('cut', 'reset'):
            self.raw(body[:len(body) // 2])
            if mode == 'reset':  # closing with a zero linger time sends a reset
                # A reset discards what the client has not read yet: give it time to
                # take the headers, so the reset hits the transfer and not the open.
                time.sleep(1.0)
                self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack('ii', 1, 0))
                self.connection.close()
            else:
                self.close_now()
            return
        if mode == 'cut-body0':
            self.wfile.flush()
            time.sleep(0.5)
            return self.close_now()
        if mode == 'cut-last':
            self.raw(body[:-1])
            time.sleep(0.5)
            return self.close_now()
        if mode == 'endless':
            piece = b'endless ' * 1024
            while True:
                self.wfile.write(piece)
        if mode == 'drip':
            for at in range(len(body)):
                self.raw(body[at:at + 1])
                time.sleep(0.5)
            return
        if mode in ('slow', 'trickle'):
            step = 4096 if mode == 'slow' else max(1, -(-len(body) // 20))
            for at in range(0, len(body), step):
                self.raw(body[at:at + step])
                time.sleep(0.2 if mode == 'slow' else 0.25)
            return
        if mode == 'stall':
            self.raw(body[:len(body) // 2])
            time.sleep(8)
            self.raw(body[len(body) // 2:])
            return
        self.wfile.write(body)
        if mode == 'long':
            self.wfile.write(b'X' * 10000)

    def status_answer(self, mode):
        fields = mode.split('-')
        code = int(fields[1])
        reason = REASONS.get(code, 'Status')
        if len(fields) > 2 and fields[2] == 'html':
            body = ('<html>\r\n<head><title>%d %s</title></head>\r\n<body>\r\n<center><h1>%d %s</h1></center>\r\n'
                    '</body>\r\n</html>\r\n' % (code, reason, code, reason)).encode()
        else:
            body = ('%d %s\r\n' % (code, reason)).encode()
        self.send_response(code)
        if code in (204, 304):
            self.end_headers()
            return
        self.send_header('Content-Type', 'text/html' if body.startswith(b'<') else 'text/plain')
        self.send_header('Content-Length', str(len(body)))
        if code == 401:
            self.send_header('WWW-Authenticate', 'Basic realm="zfault"')
        self.end_headers()
        self.wfile.write(body)

    def chunked(self, body, modified, cut):
        self.raw(('HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nLast-Modified: %s\r\n'
                  'Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n' % modified).encode())
        end = len(body) // 2 if cut else len(body)
        for at in range(0, end, 1000):
            piece = body[at:min(at + 1000, end)]
            self.wfile.write(b'%x\r\n%s\r\n' % (len(piece), piece))
        if cut:
            self.wfile.flush()
            time.sleep(0.5)
            return self.close_now()
        self.raw(b'0\r\n\r\n')
        self.close_connection = True


server = http.server.ThreadingHTTPServer(('127.0.0.1', PORT), Handler)
server.daemon_threads = True
with open(PORT_FILE + '.tmp', 'w') as out:
    out.write(str(server.server_address[1]))
os.replace(PORT_FILE + '.tmp', PORT_FILE)
server.serve_forever()
