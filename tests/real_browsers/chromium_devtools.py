# Drives a headless Chromium (chromium_lib.sh's qinghe_chromium__exec) on a private
# user-data folder over the DevTools protocol on --remote-debugging-pipe, so
# no port is opened. Used by the real-browser tests written in Python.
import json, os, select, subprocess, sys, time

class Browser:
    def __init__(self, lib, ud, extra=()):
        to_r, to_w = os.pipe()
        from_r, from_w = os.pipe()
        def child_fds():
            a, b = os.dup(to_r), os.dup(from_w)
            os.dup2(a, 3)
            os.dup2(b, 4)
        cmd = ['bash', '-c', 'source "$0"; qinghe_chromium__exec "$@"', lib, ud,
               '--remote-debugging-pipe', *extra, 'about:blank']
        self.proc = subprocess.Popen(cmd, stdin=subprocess.DEVNULL, pass_fds=(3, 4),
                                     preexec_fn=child_fds, start_new_session=True)
        os.close(to_r)
        os.close(from_w)
        self.to_w, self.from_r, self.buf, self.next_id = to_w, from_r, b'', 0

    def call(self, method, params=None, session=None, timeout=30):
        self.next_id += 1
        msg = {'id': self.next_id, 'method': method, 'params': params or {}}
        if session:
            msg['sessionId'] = session
        os.write(self.to_w, json.dumps(msg).encode() + b'\0')
        end = time.time() + timeout
        while True:
            while b'\0' in self.buf:
                raw, self.buf = self.buf.split(b'\0', 1)
                reply = json.loads(raw)
                if reply.get('id') == self.next_id:
                    if 'error' in reply:
                        raise SystemExit('%s failed: %s' % (method, reply['error']))
                    return reply['result']
            ready, _, _ = select.select([self.from_r], [], [], max(0, end - time.time()))
            if not ready:
                raise SystemExit('no answer to ' + method)
            data = os.read(self.from_r, 65536)
            if not data:
                raise SystemExit('browser closed the pipe during ' + method)
            self.buf += data

    def page(self, url, ready):
        pages = [t for t in self.call('Target.getTargets')['targetInfos'] if t['type'] == 'page']
        session = self.call('Target.attachToTarget', {'targetId': pages[0]['targetId'],
                                                      'flatten': True})['sessionId']
        self.call('Page.navigate', {'url': url}, session)
        for _ in range(150):
            if self.evaluate('document.readyState === "complete" && (%s)' % ready, session):
                return session
            time.sleep(0.1)
        raise SystemExit(url + ' did not load')

    def evaluate(self, expr, session):
        r = self.call('Runtime.evaluate', {'expression': expr, 'awaitPromise': True,
                                           'returnByValue': True}, session)
        if 'exceptionDetails' in r:
            raise SystemExit('page error: %s' % r['exceptionDetails'])
        return r['result'].get('value')

    def close(self):
        try:
            self.call('Browser.close', timeout=10)
        except BaseException as e:
            print('Browser.close:', e)
        try:
            status = self.proc.wait(timeout=60)
        except subprocess.TimeoutExpired:
            os.killpg(self.proc.pid, 9)
            status = self.proc.wait()
        return status
