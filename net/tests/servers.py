#!/usr/bin/env python3
# SPDX-License-Identifier: GPL-3.0-or-later
"""velkard-cli's network commands against real servers on loopback.

Starts, each with its own configuration in a temporary folder and on free ports of 127.0.0.1,
Orthanc (with its ModalityWorklists plugin), DCMTK's wlmscpfs and storescp (also over TLS with a
test CA made here by openssl) and an MLLP listener that parses with python3-hl7, and checks what
arrives with tools no one here wrote (Orthanc's REST API, dcmdump, python3-hl7); Velkard's own
store SCP (velkard-cli store-scp, and while velkard-cli sends) takes Orthanc's storage commitment
reports and C-MOVE, and DCMTK's echoscu and storescu as callers. When it can, it
runs in a network namespace of its own that has nothing but loopback (unshare). Every server is
stopped at the end. Exits 77 (skipped) when Orthanc or DCMTK's tools are missing.
"""
import argparse
import base64
import ctypes
import datetime
import json
import os
import shutil
import signal
import socket
import ssl
import subprocess
import sys
import tempfile
import threading
import time
import urllib.request

SKIP = 77
failures = []


def check(cond, what):
    print(("ok    " if cond else "FAIL  ") + what, flush=True)
    if not cond:
        failures.append(what)
    return cond


def free_port():
    s = socket.socket()
    s.bind(("127.0.0.1", 0))
    port = s.getsockname()[1]
    s.close()
    return port


def die_with_parent():
    # A server must not outlive the test, even when the test is killed.
    libc = ctypes.CDLL("libc.so.6", use_errno=True)
    libc.prctl(1, signal.SIGKILL)  # PR_SET_PDEATHSIG


class Servers:
    def __init__(self):
        self.procs = []

    def start(self, name, argv, log, **kw):
        out = open(log, "wb")
        p = subprocess.Popen(argv, stdout=out, stderr=subprocess.STDOUT,
                             preexec_fn=die_with_parent, **kw)
        self.procs.append((name, p))
        return p

    def stop(self, p):
        if p.poll() is None:
            p.terminate()
            try:
                p.wait(10)
            except subprocess.TimeoutExpired:
                p.kill()
                p.wait()

    def stop_all(self):
        for _, p in self.procs:
            self.stop(p)


def wait_port(port, timeout=20):
    end = time.time() + timeout
    while time.time() < end:
        try:
            socket.create_connection(("127.0.0.1", port), 0.2).close()
            return True
        except OSError:
            time.sleep(0.1)
    return False


class Cli:
    def __init__(self, exe, work):
        self.exe, self.work = exe, work

    def run(self, *args, ok=True):
        r = subprocess.run([self.exe, *args, "--dir", self.work], capture_output=True, text=True,
                           timeout=120)
        if ok and r.returncode != 0:
            print("velkard-cli", *args, "->", r.returncode, r.stderr, flush=True)
        return r

    def lines(self, *args):
        r = self.run(*args)
        return [json.loads(l) for l in r.stdout.splitlines() if l.startswith("{")]

    def sent(self, destination, *args):
        """The entry for `destination` that the command (a send) adds to the outbox. Entry names
        begin with the second they were made in, then a random part, so the last one listed is
        not the newest when two were made within a second."""
        before = {e["entry"] for e in self.lines("outbox", "list") if "entry" in e}
        new = [e for e in self.lines(*args)
               if e.get("destination") == destination and e.get("entry") not in before]
        return new[-1] if new else {"entry": "", "state": "none", "reason": "no new entry"}


def settings(work, **kv):
    with open(os.path.join(work, "velkard-network.ini"), "w") as f:
        for k, v in kv.items():
            f.write(f"{k.replace('__', '.')}={v}\n")


def dump2dcm(tmp, text, out):
    src = os.path.join(tmp, "wl.dump")
    with open(src, "w", encoding="utf-8") as f:
        f.write(text)
    subprocess.run(["dump2dcm", "-q", "+te", src, out], check=True)


WORKLIST = """(0008,0005) CS [ISO_IR 192]
(0008,0050) SH [{acc}]
(0010,0010) PN [{name}]
(0010,0020) LO [{pid}]
(0010,0030) DA [19610304]
(0010,0040) CS [M]
(0020,000d) UI [{study}]
(0032,1060) LO [{desc}]
(0040,0100) SQ
(fffe,e000) -
(0008,0060) CS [{modality}]
(0040,0001) AE [{station}]
(0040,0002) DA [{date}]
(0040,0003) TM [0930]
(0040,0007) LO [{desc}]
(0040,0009) SH [SPS-{acc}]
(fffe,e00d)
(fffe,e0dd)
(0040,1001) SH [RP-{acc}]
"""


def make_worklist(tmp, folder, today):
    os.makedirs(folder, exist_ok=True)
    orders = [
        dict(acc="ACC1001", name="Петров^Пётр^Ильич", pid="H-0042", study="1.2.826.0.1.3680043.2.1125.77.1",
             desc="ECG at rest", modality="ECG", station="VELKARD", date=today),
        dict(acc="ACC1002", name="Other^Station", pid="H-0043", study="1.2.826.0.1.3680043.2.1125.77.2",
             desc="ECG at rest", modality="ECG", station="ECG_ROOM_9", date=today),
        dict(acc="ACC1003", name="Ct^Patient", pid="H-0044", study="1.2.826.0.1.3680043.2.1125.77.3",
             desc="CT head", modality="CT", station="VELKARD", date=today),
        dict(acc="ACC1004", name="Tomorrow^Patient", pid="H-0045", study="1.2.826.0.1.3680043.2.1125.77.4",
             desc="ECG at rest", modality="ECG", station="VELKARD", date="20991231"),
    ]
    for i, o in enumerate(orders):
        dump2dcm(tmp, WORKLIST.format(**o), os.path.join(folder, f"order{i}.wl"))
    return orders[0]


def rest(http, path):
    with urllib.request.urlopen(f"http://127.0.0.1:{http}{path}", timeout=10) as r:
        data = r.read()
    return data


def rest_json(http, path):
    return json.loads(rest(http, path))


def rest_json_post(http, path, body):
    with urllib.request.urlopen(urllib.request.Request(f"http://127.0.0.1:{http}{path}", data=body.encode(),
                                                       method="POST"), timeout=10) as r:
        return json.loads(r.read())


def orthanc_config(tmp, dicom, http, wl, velkard_port, extra=None):
    cfg = {
        "Name": "velkard-test", "StorageDirectory": os.path.join(tmp, "orthanc-db"),
        "IndexDirectory": os.path.join(tmp, "orthanc-db"), "DicomAet": "ORTHANC",
        "DicomPort": dicom, "HttpPort": http, "RemoteAccessAllowed": False,
        "AuthenticationEnabled": False, "DicomCheckCalledAet": True,
        "DicomModalities": {"velkard": ["VELKARD", "127.0.0.1", velkard_port]},
        "DicomAlwaysAllowEcho": False, "DicomAlwaysAllowStore": False,
        "DicomCheckModalityHost": True, "Plugins": ["/usr/share/orthanc/plugins/libModalityWorklists.so"],
        "Worklists": {"Enable": True, "Database": wl}, "StableAge": 1, "HttpTimeout": 10,
        "ConcurrentJobs": 1, "SaveJobs": False, "DefaultEncoding": "Utf8",
    }
    cfg.update(extra or {})
    path = os.path.join(tmp, "orthanc.json")
    with open(path, "w") as f:
        json.dump(cfg, f)
    return path


def record_for(cli, tmp, patient, seconds, seed, date, time_=None):
    # Recorded now (after the order was taken), unless told otherwise.
    time_ = time_ or datetime.datetime.now().strftime("%H:%M:%S")
    dev = os.path.join(tmp, f"dev{seed}.dat")
    rec = os.path.join(tmp, f"rec{seed}.dat")
    subprocess.run([cli.exe, "make-device-file", dev, "--seconds", str(seconds), "--seed", str(seed)],
                   check=True, capture_output=True)
    subprocess.run([cli.exe, "convert", dev, rec, "--kind", "plain"], check=True, capture_output=True)
    r = cli.run("file-recording", patient, rec, "--seconds", str(seconds), "--date", date,
                "--time", time_)
    return int(r.stdout.strip())


def dcm_tags(path, *tags):
    out = subprocess.run(["dcmdump", "-q", "-Un", "+P", "0008,0016", "+P", "0008,0018", "+P", "0010,0020",
                          "+P", "0008,0050", "+P", "0020,000d", path], capture_output=True, text=True).stdout
    vals = {}
    for line in out.splitlines():
        tag = line[1:10].lower()
        if "[" in line:
            vals[tag] = line[line.index("[") + 1:line.index("]")]
    return vals


class MllpListener(threading.Thread):
    """Takes HL7 messages over MLLP, parses each with python3-hl7, answers AA (or `answer`);
    with `tls` (an ssl.SSLContext) only over TLS, counting the handshakes that fail."""

    def __init__(self, answer="AA", tls=None):
        super().__init__(daemon=True)
        self.answer = answer
        self.tls = tls
        self.versions = []
        self.refused_handshakes = 0
        self.sock = socket.socket()
        self.sock.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(4)
        self.port = self.sock.getsockname()[1]
        self.messages = []
        self.stop = False

    def run(self):
        import hl7
        self.sock.settimeout(0.2)
        while not self.stop:
            try:
                conn, _ = self.sock.accept()
            except socket.timeout:
                continue
            conn.settimeout(10)
            if self.tls:
                try:
                    conn = self.tls.wrap_socket(conn, server_side=True)
                except (ssl.SSLError, OSError):
                    self.refused_handshakes += 1
                    continue
                self.versions.append(conn.version())
            data = b""
            while b"\x1c\r" not in data:
                chunk = conn.recv(65536)
                if not chunk:
                    break
                data += chunk
            text = data[data.index(b"\x0b") + 1:data.index(b"\x1c")].decode("utf-8")
            msg = hl7.parse(text)
            self.messages.append((text, msg))
            control = str(msg.segment("MSH")[10])
            ack = f"MSH|^~\\&|HIS|HOSP|VELKARD|VELKARD|20240101000000||ACK^R01|A{control}|P|2.5\r" \
                  f"MSA|{self.answer}|{control}|{'Unknown patient' if self.answer != 'AA' else ''}\r"
            conn.sendall(b"\x0b" + ack.encode() + b"\x1c\r")
            conn.close()

    def close(self):
        self.stop = True
        self.join(2)
        self.sock.close()


def openssl(*args):
    subprocess.run(["openssl", *args], check=True, capture_output=True)


def make_ca(d, name):
    key, crt = os.path.join(d, name + "-ca.key"), os.path.join(d, name + "-ca.pem")
    openssl("req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", crt,
            "-days", "2", "-subj", f"/CN={name} test CA")
    return key, crt


def make_cert(d, ca, name):
    key, csr, crt = (os.path.join(d, name + e) for e in (".key", ".csr", ".pem"))
    openssl("req", "-newkey", "rsa:2048", "-nodes", "-keyout", key, "-out", csr,
            "-subj", f"/CN={name}")
    ext = os.path.join(d, name + ".ext")
    with open(ext, "w") as f:
        f.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n")
    openssl("x509", "-req", "-in", csr, "-CA", ca[1], "-CAkey", ca[0], "-CAcreateserial",
            "-out", crt, "-days", "2", "-extfile", ext)
    return key, crt


def echoscu(calling, called, port):
    return subprocess.run(["echoscu", "-to", "5", "-aet", calling, "-aec", called, "127.0.0.1", str(port)],
                          capture_output=True, text=True).returncode


def refused_connection(port):
    try:
        socket.create_connection(("127.0.0.1", port), 1).close()
        return False
    except ConnectionRefusedError:
        return True


def storage_commitment(cli, tmp, http, own, base, pid, number):
    """Storage commitment with Orthanc, which sends its report on an association of its own to
    the store SCP that its DicomModalities name (VELKARD at 127.0.0.1, port `own`)."""
    sc = {**base, "hl7__host": "", "pacs__storage_commitment": 1, "store_scp__enabled": 0,
          "store_scp__port": own}
    sc.pop("port", None)
    work = cli.work
    settings(work, **sc)

    # Switched off: nothing listens, store-scp refuses, and an entry sent with commitment asked
    # is never called committed without the archive's report.
    r = cli.run("store-scp", "--seconds", "1", ok=False)
    check(r.returncode == 1 and "switched off" in r.stderr, "store-scp refuses while switched off")
    check(refused_connection(own), "store SCP off: nothing listens on its port")
    out = cli.sent("pacs", "send", pid, str(number))
    check(out["state"] == "awaiting_commitment",
          "with no store SCP the entry stays awaiting commitment: %s %s" % (out["state"], out["reason"]))

    # Switched on: the archive's AE title is taken, another is refused, so is another called AE.
    settings(work, **{**sc, "store_scp__enabled": 1})
    scp = subprocess.Popen([cli.exe, "store-scp", "--seconds", "60", "--dir", work],
                           stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
    try:
        check(wait_port(own, 10), "store-scp listens on store_scp.port")
        check(echoscu("ORTHANC", "VELKARD", own) == 0, "C-ECHO from the archive's AE title is taken")
        check(echoscu("STRANGER", "VELKARD", own) != 0, "an association from an unknown AE title is refused")
        check(echoscu("ORTHANC", "SOMEONE", own) != 0, "an association calling another AE title is refused")
        # C-STORE of the entry's waveform and PDF into archive-cache/<study UID>/, numbered.
        folder = os.path.join(work, "outbox", out["entry"])
        objects = [os.path.join(folder, f) for f in sorted(os.listdir(folder)) if f.endswith(".dcm")]
        r = subprocess.run(["storescu", "-to", "5", "-aet", "ORTHANC", "-aec", "VELKARD", "127.0.0.1", str(own),
                            *objects], capture_output=True, text=True)
        study = dcm_tags(objects[0]).get("0020,000d", "")
        cache = os.path.join(work, "archive-cache", study)
        kept = sorted(os.listdir(cache)) if os.path.isdir(cache) else []
        check(r.returncode == 0 and kept == ["0001.dcm", "0002.dcm"],
              "store SCP keeps the waveform and the PDF as archive-cache/<study>/0001.dcm, 0002.dcm (%s)" % kept)
        same = len(kept) == 2
        for sent_file, got in zip(objects, kept):
            dump = [subprocess.run(["dcmdump", "-q", "+L", "+P", "0008,0018", "+P", "5400,1010", "+P", "0042,0011", f],
                                   capture_output=True, text=True).stdout for f in (sent_file, os.path.join(cache, got))]
            same = same and dump[0] == dump[1] and dump[0] != ""
        check(same, "what it kept has the UIDs and the samples (or PDF) sent (dcmdump)")
        r = subprocess.run(["storescu", "-to", "5", "-aet", "STRANGER", "-aec", "VELKARD", "127.0.0.1", str(own),
                            objects[0]], capture_output=True, text=True)
        check(r.returncode != 0 and len(os.listdir(cache)) == 2, "nothing is taken from an unknown AE title")
        # The entry sent while nothing listened: asked again, Orthanc's report now arrives.
        cli.run("outbox", "retry", out["entry"], "--wait", "0")
        end = time.time() + 20
        state = ""
        while time.time() < end and state != "committed":
            time.sleep(0.3)
            state = [e for e in cli.lines("outbox", "list") if e["entry"] == out["entry"]][0]["state"]
        check(state == "committed", "asked again, Orthanc's report reaches store-scp: " + state)
    finally:
        scp.terminate()
        so, _ = scp.communicate(timeout=20)
    check(json.loads(so or "{}").get("reports", 0) >= 1, "store-scp kept the report: " + so.strip())
    check(refused_connection(own), "store-scp ended: nothing listens")

    # send with the store SCP on: the CLI listens while it sends and waits for the report.
    new = cli.sent("pacs", "send", pid, str(number))
    check(new["state"] == "committed" and new["reason"] == "",
          "send: committed after Orthanc's report (%s %s)" % (new["state"], new["reason"]))

    # An object Orthanc no longer holds: the report names it, the entry is sent again.
    folder = os.path.join(work, "outbox", new["entry"])
    sent = [dcm_tags(os.path.join(folder, f)) for f in sorted(os.listdir(folder)) if f.endswith(".dcm")]
    uid = [t["0008,0018"] for t in sent if t.get("0008,0016") == "1.2.840.10008.5.1.4.1.1.9.1.1"][0]
    found = rest_json_post(http, "/tools/lookup", uid)
    urllib.request.urlopen(urllib.request.Request(f"http://127.0.0.1:{http}{found[0]['Path']}",
                                                  method="DELETE"), timeout=10).read()
    after = [e for e in cli.lines("outbox", "retry", new["entry"]) if e["entry"] == new["entry"]][0]
    check(after["state"] == "waiting" and uid in after["reason"] and "no such object instance" in after["reason"],
          "a deleted object fails the commitment with its UID and reason: %s %s" % (after["state"], after["reason"]))
    check(after["next_attempt"] > time.time(), "and it is sent again after the outbox's pause")
    again = [e for e in cli.lines("outbox", "retry", new["entry"]) if e["entry"] == new["entry"]][0]
    check(again["state"] == "committed", "sent again and committed: %s %s" % (again["state"], again["reason"]))
    check(any(rest_json(http, f"/instances/{i}/simplified-tags").get("SOPInstanceUID") == uid
              for i in rest_json(http, "/instances")), "Orthanc holds the waveform again (REST)")

    # Earlier ECGs by C-MOVE to Velkard's own AE title: Orthanc sends the study to the store SCP.
    study = dcm_tags(os.path.join(folder, [f for f in sorted(os.listdir(folder)) if f.endswith(".dcm")][0]))["0020,000d"]
    settings(work, **{**sc, "store_scp__enabled": 1, "archive__fetch": "move"})
    r = cli.run("fetch", study)
    files = r.stdout.split()
    in_orthanc = rest_json_post(http, "/tools/find", json.dumps({"Level": "Instance", "Query": {"StudyInstanceUID": study}}))
    cache = os.path.join(work, "archive-cache", study)
    check(r.returncode == 0 and len(files) == len(in_orthanc) > 0
          and all(os.path.dirname(f) == cache for f in files),
          "archive.fetch=move: every object of the study (%d of %d) in archive-cache/<study>/" % (len(files), len(in_orthanc)))
    mine = [f for f in files if dcm_tags(f).get("0008,0018") == uid]
    sent_wave = [os.path.join(folder, f) for f in sorted(os.listdir(folder))
                 if f.endswith(".dcm") and dcm_tags(os.path.join(folder, f)).get("0008,0018") == uid]
    samples = [subprocess.run(["dcmdump", "-q", "+L", "+P", "5400,1010", f], capture_output=True, text=True).stdout
               for f in mine[:1] + sent_wave[:1]]
    check(len(samples) == 2 and samples[0] == samples[1] and samples[0] != "",
          "the waveform fetched by C-MOVE has the samples sent (dcmdump)")
    settings(work, **{**sc, "store_scp__enabled": 0, "archive__fetch": "move"})
    r = cli.run("fetch", study, ok=False)
    check(r.returncode == 1 and "store SCP" in r.stderr and len(os.listdir(cache)) == len(files),
          "C-MOVE without the store SCP: refused, the earlier copy kept: " + r.stderr.strip())


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--cli", required=True)
    ap.add_argument("--in-namespace", action="store_true")
    a = ap.parse_args()

    if not a.in_namespace and shutil.which("unshare") and shutil.which("ip"):
        # Nothing but loopback: a network namespace of our own, when the system allows one.
        probe = subprocess.run(["unshare", "-rn", "true"], capture_output=True)
        if probe.returncode == 0:
            r = subprocess.run(["unshare", "-rn", "sh", "-c",
                                'ip link set lo up && exec "$@"', "sh", sys.executable,
                                os.path.abspath(__file__), "--cli", a.cli, "--in-namespace"])
            return r.returncode
        print("note: no network namespace here; the servers listen on the host (loopback peers)")

    needed = ["/usr/sbin/Orthanc", "dump2dcm", "dcmdump", "wlmscpfs", "storescp", "echoscu", "storescu", "openssl"]
    missing = [n for n in needed if not shutil.which(n)]
    if missing:
        print("SKIPPED: missing " + ", ".join(missing) + " (Debian packages orthanc, dcmtk, openssl)")
        return SKIP
    try:
        import hl7  # noqa: F401
    except ImportError:
        print("SKIPPED: python3-hl7 is missing")
        return SKIP

    tmp = tempfile.mkdtemp(prefix="velkard-net-")
    servers = Servers()
    hl7_ok = MllpListener("AA")
    hl7_ok.start()
    try:
        return run(a, tmp, servers, hl7_ok)
    finally:
        hl7_ok.close()
        servers.stop_all()
        shutil.rmtree(tmp, ignore_errors=True)


def run(a, tmp, servers, hl7_ok):
    started = time.time()
    work = os.path.join(tmp, "work")
    os.makedirs(work)
    cli = Cli(a.cli, work)
    today = datetime.date.today().strftime("%Y%m%d")
    today_card = datetime.date.today().strftime("%d.%m.%Y")
    now_time = datetime.datetime.now().strftime("%H:%M:%S")

    wl = os.path.join(tmp, "worklists")
    order = make_worklist(tmp, wl, today)
    dicom, http, own = free_port(), free_port(), free_port()
    cfg = orthanc_config(tmp, dicom, http, wl, own)
    orthanc = servers.start("orthanc", ["/usr/sbin/Orthanc", cfg], os.path.join(tmp, "orthanc.log"))
    if not check(wait_port(http) and wait_port(dicom), "Orthanc starts"):
        print(open(os.path.join(tmp, "orthanc.log")).read()[-3000:])
        return 1
    base = dict(ae_title="VELKARD", port=own, pacs__host="127.0.0.1", pacs__port=dicom,
                pacs__ae_title="ORTHANC", worklist__host="127.0.0.1", worklist__port=dicom,
                worklist__ae_title="ORTHANC", hl7__host="127.0.0.1", hl7__port=hl7_ok.port,
                timeout_seconds=5)
    settings(work, **base)

    # --- C-ECHO, and an AE title the archive does not know ---
    check(cli.run("network-echo").stdout.strip() == "ok", "Orthanc answers C-ECHO")
    settings(work, **{**base, "ae_title": "STRANGER"})
    r = cli.run("network-echo", ok=False)
    check(r.returncode == 1 and "refused" in r.stderr, "Orthanc refuses an unknown AE title: " + r.stderr.strip())
    settings(work, **base)

    # --- Worklist (Orthanc's plugin) ---
    items = cli.lines("worklist")
    check([i["accession"] for i in items] == ["ACC1001"],
          "worklist: today's ECG orders of this station only (%s)" % [i["accession"] for i in items])
    if items:
        w = items[0]
        check(w["patient_name"] == "Петров^Пётр^Ильич" and w["patient_id"] == "H-0042"
              and w["study_uid"] == order["study"] and w["requested_procedure"] == "RP-ACC1001",
              "worklist item carries name, hospital ID, study UID, requested procedure")
    any_station = cli.lines("worklist", "--any-station")
    check(sorted(i["accession"] for i in any_station) == ["ACC1001", "ACC1002"],
          "worklist --any-station: both ECG orders of today, not the CT one")
    took = cli.lines("worklist", "--take", "1")
    check(len(took) == 1 and took[0]["created"], "taking the order makes a card")
    pid = took[0]["id"] if took else ""
    again = cli.lines("worklist", "--take", "1")
    check(len(again) == 1 and again[0]["id"] == pid and not again[0]["created"],
          "taking it again finds the card by the hospital patient ID")
    patients = cli.run("patients").stdout
    check("Петров Пётр Ильич" in patients and "04.03.1961" in patients, "the card has name and birth date")

    # --- Record for the order, send: waveform + PDF to Orthanc, ORU to the HL7 listener ---
    number = record_for(cli, tmp, pid, 12, 1, today_card)
    sent = cli.lines("send", pid, str(number))
    check(len(sent) == 2 and all(e["state"] == "sent" for e in sent),
          "send: both outbox entries sent (%s)" % [(e["destination"], e["state"], e["reason"]) for e in sent])
    instances = rest_json(http, "/instances?expand")
    tags = [rest_json(http, f"/instances/{i['ID']}/simplified-tags") for i in instances]
    classes = sorted(t.get("SOPClassUID", "") for t in tags)
    check(classes == ["1.2.840.10008.5.1.4.1.1.104.1", "1.2.840.10008.5.1.4.1.1.9.1.1"],
          "Orthanc holds a 12-lead ECG and an Encapsulated PDF (%s)" % classes)
    check(all(t.get("PatientID") == "H-0042" and t.get("AccessionNumber") == "ACC1001"
              and t.get("StudyInstanceUID") == order["study"] for t in tags),
          "both carry the hospital patient ID, the accession number and the order's study UID")
    check(all(t.get("PatientName") == "Петров^Пётр^Ильич" for t in tags), "patient name in UTF-8")
    pdf_dicom = b""
    for i, t in zip(instances, tags):
        if t.get("SOPClassUID") == "1.2.840.10008.5.1.4.1.1.104.1":
            pdf_dicom = rest(http, f"/instances/{i['ID']}/content/0042-0011")
        else:
            req = t.get("RequestAttributesSequence") or [{}]
            check(req[0].get("RequestedProcedureID") == "RP-ACC1001"
                  and req[0].get("ScheduledProcedureStepID") == "SPS-ACC1001",
                  "the waveform names the requested procedure and the scheduled step")
    check(pdf_dicom.startswith(b"%PDF-"), "the encapsulated document is a PDF")
    pdf_file = os.path.join(tmp, "report.pdf")
    with open(pdf_file, "wb") as f:
        f.write(pdf_dicom)
    txt = subprocess.run(["pdftotext", pdf_file, "-"], capture_output=True, text=True).stdout \
        if shutil.which("pdftotext") else "Петров"
    check("Петров" in txt, "the PDF is the patient's report")

    # HL7: parsed by python3-hl7.
    check(len(hl7_ok.messages) == 1, "one ORU^R01 reached the MLLP listener")
    if hl7_ok.messages:
        text, msg = hl7_ok.messages[0]
        check(str(msg.segment("MSH")[9]) == "ORU^R01^ORU_R01" and str(msg.segment("MSH")[12]) == "2.5",
              "MSH-9 ORU^R01, version 2.5")
        pid_seg = msg.segment("PID")
        check(str(pid_seg[3][0][0]) == "H-0042" and str(pid_seg[5]) == "Петров^Пётр^Ильич"
              and str(pid_seg[7]) == "19610304" and str(pid_seg[8]) == "M", "PID: ID, name, birth date, sex")
        check(str(msg.segment("OBR")[3]) == "ACC1001", "OBR-3 the accession number")
        obx = {str(s[3][0][0]): s for s in msg.segments("OBX")}
        measured = json.loads(subprocess.run(
            [a.cli, "measure", os.path.join(tmp, "rec1.dat"), "--seconds", "10"],
            capture_output=True, text=True).stdout)
        hr = measured.get("heart_rate_bpm") or measured.get("heartRateBpm") or measured.get("heart_rate")
        if "8867-4" in obx and hr is not None:
            check(abs(float(str(obx["8867-4"][5])) - float(hr)) <= 0.5 and str(obx["8867-4"][6][0][0]) == "/min",
                  "OBX heart rate %s /min as velkard-cli measure says (%s)" % (obx["8867-4"][5], hr))
        else:
            check("8867-4" in obx, "OBX heart rate present (measure said %s)" % hr)
        check(all(str(s[11]) == "P" for s in msg.segments("OBX")), "unconfirmed results are preliminary (P)")
        check("18844-1" in obx and str(obx["18844-1"][5]) != "", "statements in TX OBX")
        ed = obx.get("18750-0")
        if check(ed is not None and str(ed[2]) == "ED", "the PDF in an ED OBX"):
            comp = ed[5][0]
            check(str(comp[1]) == "AP" and str(comp[2]) == "PDF" and str(comp[3]) == "Base64",
                  "ED type AP, subtype PDF, Base64")
            check(base64.b64decode(str(comp[4])) == pdf_dicom.rstrip(b"\0") or
                  base64.b64decode(str(comp[4])) == pdf_dicom,
                  "the PDF in HL7 is the one in the archive")

    # --- Earlier ECGs: C-FIND and C-GET from Orthanc ---
    studies = cli.lines("studies", pid)
    check([s["study_uid"] for s in studies] == [order["study"]], "C-FIND finds the patient's ECG study")
    r = cli.run("fetch", order["study"])
    files = r.stdout.split()
    check(len(files) == 2 and all(os.path.exists(f) for f in files), "C-GET fetches both objects")
    got = sorted(dcm_tags(f).get("0008,0016", "") for f in files)
    check(got == classes, "the fetched objects are the ones sent (dcmdump)")

    # --- Orthanc down while sending: the outbox keeps it, retries, it arrives once ---
    count_before = len(rest_json(http, "/instances"))
    servers.stop(orthanc)
    number2 = record_for(cli, tmp, pid, 12, 2, today_card)
    down = cli.lines("send", pid, str(number2))
    pacs_entry = [e for e in down if e["destination"] == "pacs" and e["recording"] == number2]
    check(len(pacs_entry) == 1 and pacs_entry[0]["state"] == "waiting" and pacs_entry[0]["attempts"] == 1
          and pacs_entry[0]["reason"] != "", "with Orthanc stopped the entry waits: %s" %
          (pacs_entry[0]["reason"] if pacs_entry else "none"))
    run_early = cli.lines("outbox", "run")
    check(all(e["attempts"] == 1 for e in run_early if e["recording"] == number2 and e["destination"] == "pacs"),
          "not tried again before its pause is over")
    orthanc = servers.start("orthanc", ["/usr/sbin/Orthanc", cfg], os.path.join(tmp, "orthanc2.log"))
    check(wait_port(http) and wait_port(dicom), "Orthanc starts again")
    after = cli.lines("outbox", "retry")
    check(all(e["state"] == "sent" for e in after), "retry sends it once Orthanc is back")
    cli.lines("outbox", "retry")
    cli.lines("outbox", "run")
    count_after = len(rest_json(http, "/instances"))
    check(count_after == count_before + 2, "it arrived once: %d objects more" % (count_after - count_before))
    stats = rest_json(http, "/statistics")
    check(stats.get("CountInstances") == count_after, "Orthanc's statistics agree")

    # --- HL7 receiver that rejects: failed with the reason ---
    reject = MllpListener("AE")
    reject.start()
    try:
        settings(work, **{**base, "pacs__host": "", "hl7__port": reject.port})
        e = cli.sent("hl7", "send", pid, str(number))
        check(e["state"] == "failed" and "Unknown patient" in e["reason"],
              "an HL7 AE answer fails the entry with the receiver's reason: " + e["reason"])
    finally:
        reject.close()
    storage_commitment(cli, tmp, http, own, base, pid, number)
    servers.stop(orthanc)

    # --- DCMTK: wlmscpfs and storescp ---
    wldb = os.path.join(tmp, "wlmscpfs")
    os.makedirs(os.path.join(wldb, "WLM"))
    for f in os.listdir(wl):
        shutil.copy(os.path.join(wl, f), os.path.join(wldb, "WLM", f))
    open(os.path.join(wldb, "WLM", "lockfile"), "w").close()
    wport = free_port()
    servers.start("wlmscpfs", ["wlmscpfs", "-dfp", wldb, "-dfr", str(wport)], os.path.join(tmp, "wlm.log"))
    sport = free_port()
    sdir = os.path.join(tmp, "storescp")
    os.makedirs(sdir)
    servers.start("storescp", ["storescp", "-aet", "STORESCP", "-od", sdir, "-uf", str(sport)],
                  os.path.join(tmp, "storescp.log"))
    check(wait_port(wport) and wait_port(sport), "wlmscpfs and storescp start")
    dk = {**base, "worklist__port": wport, "worklist__ae_title": "WLM", "pacs__port": sport,
          "pacs__ae_title": "STORESCP", "hl7__host": ""}
    settings(work, **dk)
    items = cli.lines("worklist")
    check([i["accession"] for i in items] == ["ACC1001"] and items[0]["study_uid"] == order["study"],
          "wlmscpfs gives the same order")
    last = cli.sent("pacs", "send", pid, str(number))
    check(last["state"] == "sent", "storescp takes the send")
    stored = [os.path.join(sdir, f) for f in os.listdir(sdir)]
    got = sorted(dcm_tags(f).get("0008,0016", "") for f in stored)
    check(got == classes, "storescp stored the waveform and the PDF (dcmdump: %s)" % got)
    check(all(dcm_tags(f).get("0020,000d") == order["study"] for f in stored), "in the order's study")

    # --- TLS: storescp with a certificate of a test CA ---
    pki = os.path.join(tmp, "pki")
    os.makedirs(pki)
    ca = make_ca(pki, "clinic")
    other = make_ca(pki, "other")
    server = make_cert(pki, ca, "storescp")
    client = make_cert(pki, ca, "velkard")
    tport = free_port()
    tdir = os.path.join(tmp, "storescp-tls")
    os.makedirs(tdir)
    servers.start("storescp-tls", ["storescp", "+tls", server[0], server[1], "+cf", ca[1],
                                   "--require-peer-cert", "-aet", "STORESCP", "-od", tdir, str(tport)],
                  os.path.join(tmp, "storescp-tls.log"))
    check(wait_port(tport), "storescp with TLS starts")
    tls = {**dk, "pacs__port": tport, "pacs__tls": 1, "tls__ca_file": ca[1],
           "tls__certificate_file": client[1], "tls__key_file": client[0]}
    settings(work, **tls)
    check(cli.run("network-echo").stdout.strip() == "ok", "C-ECHO over TLS, certificates checked")
    check(cli.sent("pacs", "send", pid, str(number))["state"] == "sent", "send over TLS")
    check(len(os.listdir(tdir)) == 2, "storescp over TLS stored both objects")
    settings(work, **{**tls, "tls__ca_file": other[1]})
    r = cli.run("network-echo", ok=False)
    check(r.returncode == 1, "a server certificate of another CA is refused: " + r.stderr.strip())
    settings(work, **{**tls, "pacs__tls": 0})
    r = cli.run("network-echo", ok=False)
    check(r.returncode == 1, "no plain association with a TLS server")

    # --- HL7 over TLS: the listener's certificate of the test CA, checked against its address ---
    his = make_cert(pki, ca, "his")
    sctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    sctx.load_cert_chain(his[1], his[0])
    hl7_tls = MllpListener("AA", sctx)
    hl7_tls.start()
    # `send` lists every entry, in the order of their names (second, then a random part): the
    # entry of each send is the one not seen before.
    seen = {x["entry"] for x in cli.lines("outbox", "list")}

    def send_hl7():
        new = [x for x in cli.lines("send", pid, str(number))
               if x["destination"] == "hl7" and x["entry"] not in seen]
        seen.update(x["entry"] for x in new)
        return new[0] if len(new) == 1 else {"state": "%d new entries" % len(new)}
    try:
        h = {**dk, "pacs__host": "", "hl7__host": "127.0.0.1", "hl7__port": hl7_tls.port,
             "hl7__tls": 1, "tls__ca_file": ca[1]}
        settings(work, **h)
        e = send_hl7()
        check(e["state"] == "sent", "ORU^R01 over TLS: " + e["state"] + " " + e.get("reason", ""))
        check(len(hl7_tls.messages) == 1
              and str(hl7_tls.messages[0][1].segment("MSH")[9]) == "ORU^R01^ORU_R01"
              and hl7_tls.versions[-1] in ("TLSv1.2", "TLSv1.3"),
              "the listener parsed it, over %s" % hl7_tls.versions)
        settings(work, **{**h, "tls__ca_file": other[1]})
        e = send_hl7()
        check(e["state"] == "failed" and "certificate" in e.get("reason", ""),
              "a receiver certificate of another CA fails the entry: " + e.get("reason", ""))
        settings(work, **{**h, "hl7__host": "localhost"})
        e = send_hl7()
        check(e["state"] == "sent", "the certificate's DNS name checked too (localhost)")
        wrong = make_cert(pki, ca, "elsewhere")
        with open(os.path.join(pki, "elsewhere.ext"), "w") as f:
            f.write("subjectAltName=DNS:his.example\n")
        openssl("x509", "-req", "-in", os.path.join(pki, "elsewhere.csr"), "-CA", ca[1], "-CAkey",
                ca[0], "-CAcreateserial", "-out", wrong[1], "-days", "2", "-extfile",
                os.path.join(pki, "elsewhere.ext"))
        sctx.load_cert_chain(wrong[1], wrong[0])
        settings(work, **h)
        e = send_hl7()
        check(e["state"] == "failed" and "certificate" in e.get("reason", ""),
              "a certificate of the right CA for another host fails: " + e.get("reason", ""))
        check(len(hl7_tls.messages) == 2 and hl7_tls.refused_handshakes == 2,
              "nothing reached the listener past an untrusted certificate (%d messages, %d refused)"
              % (len(hl7_tls.messages), hl7_tls.refused_handshakes))
    finally:
        hl7_tls.close()

    # --- Orthanc over TLS (its DicomTls* options): worklist, echo and send, read back by REST ---
    ocert = make_cert(pki, ca, "orthanc")
    odicom, ohttp, own_tls = free_port(), free_port(), free_port()
    cfg = orthanc_config(tmp, odicom, ohttp, wl, own, {
        "StorageDirectory": os.path.join(tmp, "orthanc-tls-db"),
        "IndexDirectory": os.path.join(tmp, "orthanc-tls-db"),
        "DicomTlsEnabled": True, "DicomTlsCertificate": ocert[1], "DicomTlsPrivateKey": ocert[0],
        "DicomTlsTrustedCertificates": ca[1], "DicomTlsRemoteCertificateRequired": True,
        "DicomModalities": {"velkard": {"AET": "VELKARD", "Host": "127.0.0.1", "Port": own_tls,
                                        "UseDicomTls": True}}})
    otls = servers.start("orthanc-tls", ["/usr/sbin/Orthanc", cfg], os.path.join(tmp, "orthanc-tls.log"))
    if check(wait_port(ohttp) and wait_port(odicom), "Orthanc with DICOM TLS starts"):
        o = {**base, "pacs__port": odicom, "pacs__tls": 1, "worklist__port": odicom,
             "worklist__tls": 1, "hl7__host": "", "tls__ca_file": ca[1],
             "tls__certificate_file": client[1], "tls__key_file": client[0]}
        settings(work, **o)
        check(cli.run("network-echo").stdout.strip() == "ok", "C-ECHO to Orthanc over TLS")
        items = cli.lines("worklist")
        check([i.get("accession") for i in items] == ["ACC1001"],
              "Orthanc's worklist over TLS: %s" % [i.get("accession") for i in items])
        check(cli.sent("pacs", "send", pid, str(number))["state"] == "sent",
              "send to Orthanc over TLS")
        got = sorted(rest_json(ohttp, f"/instances/{i}/simplified-tags").get("SOPClassUID", "")
                     for i in rest_json(ohttp, "/instances"))
        check(got == classes, "Orthanc over TLS holds the waveform and the PDF (REST: %s)" % got)
        # The store SCP over TLS too: TLS only, the caller's certificate of the CA; Orthanc's
        # storage commitment report comes over TLS.
        sct = {**o, "pacs__storage_commitment": 1, "store_scp__enabled": 1, "store_scp__port": own_tls}
        sct.pop("port", None)
        settings(work, **sct)
        scp = subprocess.Popen([cli.exe, "store-scp", "--seconds", "30", "--dir", work],
                               stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        try:
            check(wait_port(own_tls, 10), "store-scp with TLS listens")
            check(echoscu("ORTHANC", "VELKARD", own_tls) != 0, "no plain association with the TLS store SCP")
            r = subprocess.run(["echoscu", "-to", "5", "+tls", client[0], client[1], "+cf", ca[1], "-aet", "ORTHANC",
                                "-aec", "VELKARD", "127.0.0.1", str(own_tls)], capture_output=True, text=True)
            check(r.returncode == 0, "C-ECHO over TLS to the store SCP with a certificate of the CA " + r.stderr[-300:])
            other_cert = make_cert(pki, other, "stranger")
            r = subprocess.run(["echoscu", "-to", "5", "+tls", other_cert[0], other_cert[1], "+cf", ca[1],
                                "-aet", "ORTHANC", "-aec", "VELKARD", "127.0.0.1", str(own_tls)],
                               capture_output=True, text=True)
            check(r.returncode != 0, "a caller's certificate of another CA is refused")
        finally:
            scp.terminate()
            scp.communicate(timeout=20)
        e = cli.sent("pacs", "send", pid, str(number))
        check(e["state"] == "committed", "Orthanc over TLS: committed after its report over TLS (%s %s)"
              % (e["state"], e["reason"]))
        settings(work, **{**o, "pacs__tls": 0})
        check(cli.run("network-echo", ok=False).returncode == 1,
              "no plain association with Orthanc's TLS port")
    servers.stop(otls)

    # --- DICOM over TLS: a certificate of the test CA for another host is refused too ---
    eport = free_port()
    servers.start("storescp-elsewhere", ["storescp", "+tls", wrong[0], wrong[1], "+cf", ca[1],
                                         "-aet", "STORESCP", "-od", tdir, str(eport)],
                  os.path.join(tmp, "storescp-elsewhere.log"))
    check(wait_port(eport), "storescp with the other host's certificate starts")
    settings(work, **{**tls, "pacs__port": eport})
    r = cli.run("network-echo", ok=False)
    check(r.returncode == 1, "a server certificate for another host is refused: " + r.stderr.strip())
    settings(work, **{**tls, "pacs__host": "localhost"})
    check(cli.run("network-echo").stdout.strip() == "ok", "C-ECHO over TLS by the DNS name localhost")

    # --- GDT ---
    gdt = os.path.join(tmp, "gdt")
    os.makedirs(gdt)
    settings(work, **{**dk, "gdt__folder": gdt, "gdt__own_id": "VELKARD"})

    def gdt_line(fid, content):
        body = content.encode("latin-1")
        return ("%03d" % (len(body) + 9)).encode() + fid.encode() + body + b"\r\n"
    fields = [("8315", "VELKARD"), ("8316", "PRAX_EDV"), ("9218", "02.10"), ("3000", "4711"),
              ("3101", "Müller"), ("3102", "Anna"), ("3103", "01021950"), ("3110", "2"), ("8402", "EKG01")]
    body = b"".join(gdt_line(k, v) for k, v in fields)
    head = gdt_line("8000", "6302")
    rec = head + gdt_line("8100", "%05d" % (len(head) + 14 + len(body))) + body
    with open(os.path.join(gdt, "VELKPRAX.gdt"), "wb") as f:
        f.write(rec)
    reqs = cli.lines("gdt", "requests")
    check(len(reqs) == 1 and reqs[0]["patient_number"] == "4711" and reqs[0]["family_name"] == "Müller",
          "GDT 6302 request read")
    took = cli.lines("gdt", "take", "VELKPRAX.gdt", "--english")
    gid = took[0]["id"] if took else ""
    n = record_for(cli, tmp, gid, 12, 3, today_card)
    r = cli.run("gdt", "result", "VELKPRAX.gdt", gid, str(n), "--english")
    result = r.stdout.strip()
    if check(r.returncode == 0 and os.path.exists(result), "GDT 6310 result written"):
        data = open(result, "rb").read()
        lines = data.split(b"\r\n")[:-1]
        check(all(int(l[:3]) == len(l) + 2 for l in lines), "every GDT line's length is right")
        f = [(l[3:7].decode(), l[7:].decode("latin-1")) for l in lines]
        d = dict(f)
        check(d.get("8000") == "6310" and int(d.get("8100", "0")) == len(data), "record 6310, 8100 its length")
        check(d.get("3000") == "4711" and d.get("3101") == "Müller" and d.get("8402") == "EKG01",
              "patient number, name and test")
        check(any(k == "8410" and v == "HF" for k, v in f) and "6220" in d, "measurements and statements")
        check(open(d.get("6305", "/nonexistent"), "rb").read(5) == b"%PDF-", "6305 links the report PDF")
        check(os.path.exists(os.path.join(gdt, "VELKPRAX.gdt.done")), "the request is marked done")

    print("took %.1f s" % (time.time() - started))
    if failures:
        print("%d check(s) failed" % len(failures))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
