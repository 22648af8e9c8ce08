#!/usr/bin/env python3
"""End-to-end tests: the local build of the installer under Wine, clicked through
as a user would, against the local download server, redirect service and analytics
collector. Message boxes are the real ones, answered from the keyboard."""
import argparse
import json
import os
import subprocess
import sys
import time
import unittest

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools", "e2e"))
import session as e2e  # noqa: E402

ARGS = None
RUN = None
EVENT_BODY = """{
    "client_id": "%(guid)s",
    "user_properties": {
        "uid": {
            "value": "%(guid)s"
        }
    },
    "events": [
        {
            "name": "%(name)s",
            "params": {
                "event_category": "Vantelo Pexar (Windows version)",
                "event_label": "%(guid)s"
            }
        }
    ]
}"""
COLLECT_PATH = "/mp/collect?measurement_id=G-7QW2HXM4PB&api_secret=Qm3xVb7LpK2sWd9RtY4nHa"


def setUpModule():
    global RUN
    RUN = e2e.Session(ARGS.build, ARGS.out, pad=4 << 20, rate=3 << 20, setup_ms=2000,
                      env={"VANTELO_PEXAR_SECONDS": "4"}, log=lambda text: print(text, flush=True),
                      own_display=True)
    RUN.start()


def tearDownModule():
    RUN.stop()


class InstallerCase(unittest.TestCase):
    def setUp(self):
        run = RUN
        if run.product_windows():
            run.wait_for(lambda: not run.product_windows(), 20, "earlier product windows to close", False)
        run.clean_product()
        for name in ("vantelo-download.exe", "vantelo-download.exe.state", "temp.progress"):
            path = os.path.join(run.work, name)
            if os.path.exists(path):
                os.remove(path)
        self.set_downloads_failing(False)
        for name in ("rate", "announce-size"):
            self.server_setting(name, None)
        self.requests_before = len(run.requests())
        self.events_before = len(run.events())
        run.installer = None

    def tearDown(self):
        run = RUN
        if run.installer is not None and run.installer.poll() is None:
            run.screenshot(self.id().split(".")[-1].replace("test_", "") + "-left-open")
            os.kill(run.installer.pid, 9)
            run.installer.wait(10)
            run.installer = None
            run.wait_for(lambda: run.main_window() is None, 20, "the installer window to go", False)

    def shot(self, state):
        RUN.screenshot("%s-%s" % (self.id().split(".")[-1].replace("test_", ""), state))

    def set_downloads_failing(self, failing, after=None):
        """after: the server dies once about that many body bytes went out."""
        flag = os.path.join(RUN.state, "fail-downloads")
        if failing:
            with open(flag, "w") as f:
                f.write("" if after is None else str(after))
        elif os.path.exists(flag):
            os.remove(flag)

    def server_setting(self, name, value):
        """A number the servers read from their state folder; None removes it."""
        path = os.path.join(RUN.state, name)
        if value is None:
            if os.path.exists(path):
                os.remove(path)
        else:
            with open(path, "w") as f:
                f.write(str(value))

    def new_events(self):
        return RUN.events()[self.events_before:]

    def install_until_finished(self):
        RUN.click("install")
        RUN.wait_log("UpdateWindowSate:kWindow_Downloading", 30)
        RUN.wait_log("UpdateWindowSate:kWindow_Finish", 120)
        time.sleep(0.5)

    def download_failure_box(self):
        # The server dies after about 8 MiB: the partial file and its state file stay.
        self.set_downloads_failing(True, after=8 << 20)
        RUN.launch()
        RUN.click("install")
        RUN.wait_for(RUN.message_box, 120, "the download-failure box")
        self.assertIsNotNone(RUN.log_time("HttpDownloadEnd"))
        self.assertTrue(os.path.exists(self.work_file("vantelo-download.exe.state")))
        self.shot("failure-box")

    def work_file(self, name):
        return os.path.join(RUN.work, name)


class HappyPath(InstallerCase):
    def test_install_and_start_now(self):
        run = RUN
        run.launch()
        self.shot("home")
        run.click("install")
        run.wait_log("UpdateWindowSate:kWindow_Downloading", 30)
        time.sleep(0.7)
        self.shot("downloading")
        run.wait_log("UpdateWindowSate:kWindow_Installing", 60)
        # The installer's engine runs under the name the frame stops on the way out.
        run.wait_for(lambda: os.path.exists(self.work_file("temp.progress")), 30, "the progress file")
        time.sleep(1.6)
        self.shot("installing")
        run.wait_log("UpdateWindowSate:kWindow_Finish", 60)
        time.sleep(0.5)
        self.shot("finished")

        served = run.served_installer()
        with open(os.path.join(run.product, "install.log")) as f:
            ran = f.read()
        self.assertIn("installer %d bytes sha256 %s" % (served["size"], served["sha256"]), ran)
        self.assertIn('/verysilent /vantelo_down /wait_run /path="C:\\Program Files (x86)\\" '
                      '/progress="C:\\Program Files (x86)\\vantelo_down\\VanteloSetupLocal\\temp.progress"', ran)
        self.assertTrue(os.path.isfile(os.path.join(run.product, "Pexar.exe")))
        with open(os.path.join(run.product, "domain"), "rb") as f:
            self.assertEqual(f.read(), b"com_english")
        self.assertFalse(os.path.exists(self.work_file("vantelo-download.exe")))
        self.assertFalse(os.path.exists(self.work_file("temp.progress")))

        requests = run.requests()[self.requests_before:]
        self.assertTrue(any(r["path"].startswith("/redirect?key=download&pid=216&custom=com_english")
                            and r["status"] == 302 for r in requests))
        segments = [r for r in requests if r["method"] == "GET" and r["path"] == "/files/VanteloPexarSetup.exe"]
        # Five ranges, and one more GET for each range a finished segment took over.
        self.assertGreaterEqual(len(segments), 5)
        self.assertTrue(all(r["status"] == 206 for r in segments))

        events = run.wait_for(lambda: len(self.new_events()) >= 3 and self.new_events(), 15, "three events")
        self.assertEqual(len(events), 3)
        guid = json.loads(events[0]["body"])["client_id"]
        self.assertRegex(guid, r"^[0-9A-Fa-f]{8}(-[0-9A-Fa-f]{4}){3}-[0-9A-Fa-f]{12}$")
        for event, name in zip(events, ["Downloader_Start_Install", "Downloader_Installed", "Installed_Succeed"]):
            self.assertEqual(event["path"], COLLECT_PATH)
            self.assertEqual(event["headers"]["Content-Type"], "application/json; charset=utf-8")
            self.assertEqual(event["body"], EVENT_BODY % {"guid": guid, "name": name})

        # The analytics secret is sent, never written down.
        self.assertNotIn(COLLECT_PATH.rpartition("=")[2], run.log_text())

        run.click("start")
        self.assertEqual(run.wait_exit(30), 0)
        run.wait_for(run.product_windows, 30, "the product window", False)
        self.shot("product-started")


class DownloadFailure(InstallerCase):
    def test_retry_continues_the_download_and_installs(self):
        self.download_failure_box()
        self.set_downloads_failing(False)
        retried = time.time()
        RUN.answer("r")
        RUN.wait_log("UpdateWindowSate:kWindow_Finish", 120)
        # Only what was missing is asked for again.
        size = RUN.served_installer()["size"]
        again = [r for r in RUN.requests()[self.requests_before:]
                 if r["method"] == "GET" and r["time"] >= retried and r.get("range")]
        asked = 0
        for r in again:
            first, last = (int(v) for v in r["range"].split("=")[1].split("-"))
            asked += last - first + 1
        self.assertTrue(again)
        self.assertLess(asked, size - (4 << 20))
        self.assertFalse(os.path.exists(self.work_file("vantelo-download.exe.state")))
        self.assertTrue(os.path.isfile(os.path.join(RUN.product, "Pexar.exe")))
        self.shot("finished")
        # Finished: the close button closes without asking.
        RUN.click("close")
        self.assertEqual(RUN.wait_exit(20), 0)

    def test_ignore_returns_home_and_quitting_asks(self):
        self.download_failure_box()
        RUN.answer("i")
        RUN.wait_for(lambda: RUN.log_text().count("UpdateWindowSate:kWindow_Init") >= 2, 15, "the home page")
        self.assertFalse(os.path.exists(self.work_file("vantelo-download.exe")))
        self.assertFalse(os.path.exists(self.work_file("vantelo-download.exe.state")))
        time.sleep(0.5)
        self.shot("home-again")
        RUN.click("close")
        RUN.wait_for(RUN.message_box, 15, "the quit confirmation")
        self.shot("quit-question")
        RUN.answer("n")
        self.assertIsNone(RUN.installer.poll())
        RUN.click("close")
        RUN.answer("y")
        self.assertEqual(RUN.wait_exit(20), 0)

    def test_abort_closes_without_asking_and_deletes(self):
        self.download_failure_box()
        RUN.answer("a")
        self.assertEqual(RUN.wait_exit(20), 0)
        self.assertFalse(os.path.exists(self.work_file("vantelo-download.exe")))
        self.assertFalse(os.path.exists(self.work_file("vantelo-download.exe.state")))
        self.assertFalse(os.path.exists(self.work_file("temp.progress")))


class ProductRunning(InstallerCase):
    def start_product_and_install(self):
        os.makedirs(RUN.product, exist_ok=True)
        pexar = os.path.join(RUN.product, "Pexar.exe")
        with open(os.path.join(RUN.build, "tools", "sample-product", "Pexar.exe"), "rb") as source:
            with open(pexar, "wb") as target:
                target.write(source.read())
        env = RUN.wine_env()
        env.pop("VANTELO_PEXAR_SECONDS", None)
        product = RUN.run_wine(pexar, "product.out", env)
        RUN.wait_for(RUN.product_windows, 60, "the running product")
        # The question comes once the download is done.
        RUN.launch()
        RUN.click("install")
        RUN.wait_for(RUN.message_box, 60, "the product-running box")
        self.shot("question")
        return product

    def test_ok_stops_the_product_and_installs(self):
        product = self.start_product_and_install()
        RUN.answer("Return")
        product.wait(20)
        RUN.wait_log("UpdateWindowSate:kWindow_Finish", 60)
        RUN.click("close")
        self.assertEqual(RUN.wait_exit(20), 0)

    def test_cancel_closes_the_installer(self):
        product = self.start_product_and_install()
        RUN.answer("Escape")
        self.assertEqual(RUN.wait_exit(20), 0)
        self.assertIsNone(product.poll())
        self.assertIsNone(RUN.log_time("kWindow_Finish"))
        os.kill(product.pid, 15)
        product.wait(10)


class WaysOut(InstallerCase):
    def test_yes_during_the_download_stops_it_deletes_and_exits(self):
        self.server_setting("rate", 100000)  # 4 MiB in five ranges: eight seconds
        RUN.launch()
        RUN.click("install")
        RUN.wait_log("DownLoadContent", 30)
        time.sleep(1.0)
        self.assertTrue(os.path.exists(self.work_file("vantelo-download.exe")))
        RUN.key("alt+F4")  # the banner page has no close button
        RUN.wait_for(RUN.message_box, 15, "the quit confirmation")
        pressed = RUN.answer("y")
        self.assertEqual(RUN.wait_exit(10), 0)
        # Two seconds, and the key's way to the box and the exit probe's pace.
        self.assertLess(time.monotonic() - pressed, 2.6)
        self.assertFalse(os.path.exists(self.work_file("vantelo-download.exe")))
        self.assertFalse(os.path.exists(self.work_file("temp.progress")))
        self.assertIn("HttpDownload,ret = -5", RUN.log_text())
        events = RUN.wait_for(lambda: len(self.new_events()) >= 2 and self.new_events(), 15, "two events")
        self.assertEqual(failure_reasons(events), ["cancelled"])

    def test_low_space_answers_home_without_a_download(self):
        self.server_setting("announce-size", 1 << 40)  # a tebibyte: three are needed
        RUN.launch()
        RUN.click("install")
        RUN.wait_for(RUN.message_box, 60, "the low-space box")
        self.shot("low-space")
        RUN.answer("Return")
        RUN.wait_for(lambda: RUN.log_text().count("UpdateWindowSate:kWindow_Init") >= 2, 15, "the home page")
        self.assertIn("filesize:1048576MB", RUN.log_text())
        gets = [r for r in RUN.requests()[self.requests_before:] if r["method"] == "GET"
                and r["path"].startswith("/files/")]
        self.assertEqual(gets, [])
        self.assertFalse(os.path.exists(self.work_file("vantelo-download.exe")))
        events = RUN.wait_for(lambda: len(self.new_events()) >= 2 and self.new_events(), 15, "two events")
        self.assertEqual(failure_reasons(events), ["low_space"])
        RUN.click("close")
        RUN.answer("y")
        self.assertEqual(RUN.wait_exit(20), 0)


class Window(InstallerCase):
    def test_second_copy_exits_with_minus_one(self):
        RUN.launch()
        exe = os.path.join(RUN.build, "src", "Window", "VanteloSetupLocal.exe")
        second = subprocess.run([os.path.join(e2e.ROOT, "tools", "wine-run"), exe], env=RUN.wine_env(),
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                                timeout=60)
        self.assertEqual(second.returncode, 255)  # -1, as Wine passes it on
        RUN.click("close")
        RUN.answer("y")
        self.assertEqual(RUN.wait_exit(20), 0)

    def test_hide_minimises_until_the_user_restores(self):
        RUN.launch()
        RUN.click("install")
        RUN.wait_log("UpdateWindowSate:kWindow_Downloading", 30)
        time.sleep(0.5)
        RUN.click("hide")
        RUN.wait_for(lambda: RUN.main_window() is None, 10, "the window to be minimised")
        self.shot("hidden")
        RUN.wait_log("UpdateWindowSate:kWindow_Finish", 120)
        # Only a window hidden entirely is shown again at the finish.
        time.sleep(1.0)
        self.assertIsNone(RUN.main_window())
        self.assertTrue(os.path.isfile(os.path.join(RUN.product, "Pexar.exe")))
        RUN.terminate()

    def test_arabic_is_laid_out_right_to_left(self):
        env = RUN.wine_env()
        env["LC_ALL"] = "ar_SA.UTF-8"
        env["VANTELO_SAMPLE_SETUP_MS"] = "20000"
        RUN.launch(env)
        self.shot("home")
        RUN.click("install")
        RUN.wait_log("UpdateWindowSate:kWindow_Installing", 60)
        # 70 % and more: the bar fills from the right.
        time.sleep(2.0)
        path = RUN.screenshot("arabic_is_laid_out_right_to_left-installing")
        row = bar_row(path, RUN)
        filled = [x for x, colour in enumerate(row) if is_bar_blue(colour)]
        self.assertTrue(filled, "no filled part of the bar found")
        self.assertGreater(filled[0], 100)
        self.assertGreater(filled[-1], 560)
        RUN.terminate()


def failure_reasons(events):
    """The reasons of the "Downloader_Failed" events among EVENTS, in order."""
    reasons = []
    for event in events:
        body = json.loads(event["body"])
        for item in body["events"]:
            if item["name"] == "Downloader_Failed":
                reasons.append(item["params"]["reason"])
    return reasons


def bar_row(path, run):
    """The pixels of the window's progress bar row (window y 327)."""
    _, x, y, width, _ = [w for w in run.windows(e2e.PROGRAM) if w[3] == e2e.WINDOW_SIZE[0]][0]
    out = subprocess.run(["convert", path, "-crop", "%dx1+%d+%d" % (width, x, y + 327), "txt:-"],
                         capture_output=True, text=True, check=True).stdout
    row = []
    for line in out.splitlines()[1:]:
        colour = line.split("#")[1][:6]
        row.append(tuple(int(colour[i:i + 2], 16) for i in (0, 2, 4)))
    return row


def is_bar_blue(colour):
    r, g, b = colour
    return b > 180 and r < 120


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument("--build", required=True)
    parser.add_argument("--out", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest, verbosity=2)


if __name__ == "__main__":
    main()
