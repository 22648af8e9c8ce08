#!/usr/bin/env python3
"""The demo: the local services, a virtual display when there is none, and the local
build of the installer under Wine. Without --auto the user clicks through it; with
--auto it ticks the licence box, clicks Install, waits, clicks Start Now, keeps a
screenshot of each state (and of the home page at 144 and 192 DPI), reads the window's
accessibility tree from another process as a screen reader does, and prints a summary.
Exits non-zero when the installation did not complete. --lang runs it in one of the
product's languages; --home-pages writes the home page of every language into the output
folder and ends. With --proxy every request goes through a local squid (see proxy.py),
and --auto also fails when one did not."""
import argparse
import glob
import json
import os
import re
import subprocess
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import session as e2e  # noqa: E402
from languages import LOCALES, RIGHT_TO_LEFT  # noqa: E402
from proxy import DemoProxy  # noqa: E402


def summary(run, started, clicked, finished, product_started):
    served = run.served_installer()
    requests = run.requests()
    gets = [r for r in requests if r["method"] == "GET" and r["path"].startswith("/files/")]
    heads = [r for r in requests if r["method"] == "HEAD" and r["path"].startswith("/files/")]
    redirects = [r for r in requests if r["path"].startswith("/redirect")]
    pages = [r["path"] for r in requests if r["path"].startswith("/producturl")]
    download_end = run.log_time("HttpDownloadEnd")
    install_click = run.log_time("OnClickInstall")
    seconds = (download_end - install_click) if download_end and install_click else None
    files = []
    for folder, _, names in os.walk(run.product):
        for name in names:
            path = os.path.join(folder, name)
            files.append("%s (%d bytes)" % (os.path.relpath(path, run.programs), os.path.getsize(path)))
    lines = ["", "==== summary ===="]
    lines.append("installer served: %d bytes, sha256 %s" % (served["size"], served["sha256"]))
    try:
        with open(os.path.join(run.product, "install.log")) as f:
            ran = f.read()
        same = "installer %d bytes sha256 %s" % (served["size"], served["sha256"]) in ran
        lines.append("installer as it ran: %s" % ("byte-identical (its own size and sha256)" if same else "DIFFERENT"))
    except OSError:
        lines.append("installer as it ran: no install.log")
    if seconds:
        lines.append("download: %.1f s, %.2f MiB/s (%d bytes/s per connection limit)"
                     % (seconds, served["size"] / seconds / (1 << 20), run.rate))
    lines.append("redirect queries: %d; size queries (HEAD): %d" % (len(redirects), len(heads)))
    lines.append("segments: %d ranged GETs answered %s" % (len(gets), sorted({r["status"] for r in gets})))
    for r in gets:
        lines.append("    %s %s" % (r["status"], r.get("range") or "-"))
    # The two back-ends look alike on the wire; the log names the failed attempts and
    # the failure counters that steer the next one (no failure: WinHTTP first).
    retries = re.findall(r"Request fail,  retry (\d+)...\(WinHttp fail:(\d+), Internet fail:(\d+)\)", run.log_text())
    if retries:
        last = retries[-1]
        lines.append("back-ends: %d failed attempts retried; failure counters WinHTTP %s, WinINet %s"
                     % (len(retries), last[1], last[2]))
    else:
        lines.append("back-ends: WinHTTP for every segment (no attempt failed, so none fell back to WinINet)")
    events = run.events()
    lines.append("analytics events received: %d" % len(events))
    for event in events:
        try:
            name = json.loads(event["body"])["events"][0]["name"]
        except (ValueError, KeyError, IndexError):
            name = "?"
        lines.append("    %s" % name)
    lines.append("pages asked for: %s" % (", ".join(pages) or "none (no browser in this Wine prefix)"))
    lines.append("files installed: %d" % len(files))
    for f in files:
        lines.append("    " + f)
    lines.append("product started: %s" % ("yes" if product_started else "no"))
    lines.append("total: %.1f s from start to Start Now" % (finished - started))
    lines.append("screenshots in %s:" % run.out)
    for shot in run.shots:
        lines.append("    " + os.path.basename(shot))
    return "\n".join(lines)


def readable_tree(report):
    """The accessibility client's report as lines a person reads: role, name, state,
    place, value and default action of each element."""
    lines = []
    for row in report.splitlines():
        fields = row.split("\t")
        values = dict(field.split("=", 1) for field in fields[1:] if "=" in field)
        if fields[0] not in ("client", "child"):
            continue
        text = "%-13s %-52s %-28s at %s" % (values.get("role", ""), '"%s"' % values.get("name", ""),
                                           "[%s]" % values.get("state", ""), values.get("at", ""))
        if values.get("value"):
            text += "  value %s" % values["value"]
        if values.get("action"):
            text += "  action %s" % values["action"]
        lines.append(("    " if fields[0] == "child" else "") + text)
    return "\n".join(lines)


def run_scaled(run):
    """The home page, folded and unfolded, at 144 and 192 DPI (the prefix's LogPixels);
    LogPixels goes back to 96 afterwards. Returns the screenshots' paths. The window at
    192 DPI is 1300 x 870 pixels: the demo's own display holds it (a smaller DISPLAY of
    the user's keeps it within the screen's width)."""
    written = []
    try:
        for dpi in (144, 192):
            run.set_dpi(dpi)
            run.launch()
            written.append(window_screenshot(run, os.path.join(run.out, "dpi-%d-home.png" % dpi)))
            run.click("fold")
            time.sleep(0.6)
            written.append(window_screenshot(run, os.path.join(run.out, "dpi-%d-unfolded.png" % dpi)))
            run.terminate()
    finally:
        run.set_dpi(96)
    return written


def run_auto(run, proxy=None):
    started = time.time()
    run.clean_product()
    run.launch()
    run.screenshot("home")
    trees = [("home page", run.accessibility(["tree"], "accessibility-home.txt"))]
    run.click("agree")
    run.screenshot("licence-unticked")
    run.click("agree")
    run.screenshot("licence-ticked")
    clicked = time.time()
    run.click("install")
    run.wait_log("UpdateWindowSate:kWindow_Downloading", 30)
    time.sleep(min(3.0, max(1.0, run.pad / max(run.rate * 5, 1) / 3)))
    run.screenshot("downloading")
    trees.append(("download under way", run.accessibility(["tree"], "accessibility-downloading.txt")))
    run.wait_log("UpdateWindowSate:kWindow_Installing", 600)
    time.sleep(1.6)
    run.screenshot("installing")
    run.wait_log("UpdateWindowSate:kWindow_Finish", 120)
    time.sleep(1.0)
    run.screenshot("finished")
    run.click("start")
    run.wait_exit(30)
    product = run.wait_for(lambda: run.product_windows(), 30, "the product window", False)
    time.sleep(1.0)
    run.screenshot("product-started")
    finished = time.time()
    scaled = run_scaled(run)
    print(summary(run, started, clicked, finished, bool(product)))
    print("screenshots at 144 and 192 DPI:")
    for path in scaled:
        print("    " + os.path.basename(path))
    for moment, tree in trees:
        print("accessibility tree (%s), as a screen reader in another process reads it:" % moment)
        print(readable_tree(tree))
    proxied = True
    if proxy:
        # Squid writes a tunnel's line when it closes; the installer has ended by now.
        time.sleep(1.0)
        lines, proxied = proxy.summary(run.requests())
        print("\n".join(lines))
    return 0 if os.path.exists(os.path.join(run.product, "Pexar.exe")) and product and proxied else 1


def window_screenshot(run, path):
    """The installer's window alone, as it is on screen."""
    found = [w for w in run.windows(e2e.PROGRAM) if w[0] == run.window]
    if not found:
        raise e2e.SessionError("the installer window is gone")
    _, x, y, width, height = found[0]
    subprocess.run(["import", "-display", run.display, "-window", "root", "-crop",
                    "%dx%d+%d+%d" % (width, height, x, y), "+repage", path], check=True, capture_output=True)
    return path


def run_home_pages(run):
    """The home page in each language, as home-<language>.png; the window is ended
    after each one. Needs no servers: the home page asks nothing of the network."""
    os.makedirs(run.out, exist_ok=True)
    for old in glob.glob(os.path.join(run.out, "home-*.png")):
        os.remove(old)
    if not run.display:
        run.start_display()
    written = []
    for language in sorted(LOCALES):
        run.launch(dict(run.wine_env(), LC_ALL=LOCALES[language]))
        written.append(window_screenshot(run, os.path.join(run.out, "home-%s.png" % language)))
        run.terminate()
    print("home pages of %d languages in %s:" % (len(written), run.out))
    for path in written:
        print("    " + os.path.basename(path))
    return 0


def main():
    parser = argparse.ArgumentParser(description=__doc__)
    parser.add_argument("--auto", action="store_true")
    parser.add_argument("--build", default=os.path.join(e2e.ROOT, "build", "i686"))
    parser.add_argument("--out", default=os.path.join(e2e.ROOT, "build", "demo"))
    parser.add_argument("--pad", type=int, default=64 << 20)
    parser.add_argument("--rate", type=int, default=2 << 20)
    parser.add_argument("--lang", choices=sorted(LOCALES), help="the language the installer runs in")
    parser.add_argument("--home-pages", action="store_true",
                        help="write the home page of every language into the output folder")
    parser.add_argument("--proxy", action="store_true",
                        help="every request through a local squid named in the user's Internet settings")
    args = parser.parse_args()
    env = {"VANTELO_PEXAR_SECONDS": "5"} if args.auto else {}
    if args.lang:
        env["LC_ALL"] = LOCALES[args.lang]
    # A display of its own holds the window at 192 DPI as well (Wine takes the screen's
    # size for every window from the first display of the prefix's session).
    run = e2e.Session(args.build, args.out, pad=args.pad, rate=args.rate, env=env,
                      right_to_left=args.lang in RIGHT_TO_LEFT, screen="1920x1200")
    proxy = DemoProxy(args.out, run.prefix) if args.proxy else None
    try:
        if args.home_pages:
            return run_home_pages(run)
        run.start()
        if proxy:
            proxy.start()
        if args.auto:
            return run_auto(run, proxy)
        run.launch()
        print("The installer is on display %s; close it to end the demo." % run.display)
        run.installer.wait()
        return 0
    except e2e.SessionError as error:
        try:
            run.screenshot("failure")
        except Exception:
            pass
        print("demo: %s" % error, file=sys.stderr)
        print("installer log: %s" % run.log_path(), file=sys.stderr)
        return 1
    finally:
        if proxy:
            proxy.stop()
        run.stop()


if __name__ == "__main__":
    sys.exit(main())
