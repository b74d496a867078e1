"""The page in a real browser: headless Chromium opens it, sets tq12b to 75 %,
sees the document's chamber temperature and every curve drawn, then sets
120 % and sees the alert with the last result kept as stale."""
import os
import subprocess
import tempfile

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

from ui_server import UiServer, program_paths, report

WAIT_S = 30
CHARTS = ["throttle", "altitude", "epsilon", "k"]
CHROMIUM = os.environ.get("LRE_CHROMIUM", "/usr/bin/chromium")
CHROMEDRIVER = os.environ.get("LRE_CHROMEDRIVER", "/usr/bin/chromedriver")


def browser(profile):
    options = webdriver.ChromeOptions()
    options.binary_location = CHROMIUM
    for argument in ["--headless", "--no-sandbox", "--disable-gpu", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync", "--no-first-run", "--no-proxy-server",
                     "--window-size=1280,800", "--user-data-dir=" + profile]:
        options.add_argument(argument)
    return webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)


def set_viewport(driver, width, height):
    """The page's own size, whatever room headless Chromium gives its window."""
    driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride",
                           {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": False})


def document_text(perf, database, options, member):
    """The number text of calculated.<member> as lre-perf --json writes it."""
    run = subprocess.run([perf, database, *options, "--json"], capture_output=True, text=True, check=True)
    for line in run.stdout.splitlines():
        if line.strip().startswith('"%s":' % member):
            return line.split(":", 1)[1].strip().rstrip(",")
    raise SystemExit("no %s in %r" % (member, run.stdout))


def text_report_lines(perf, database, options):
    """(label, value text) of every quantity line of lre-perf's text report."""
    run = subprocess.run([perf, database, *options], capture_output=True, text=True, check=True)
    lines = set()
    for line in run.stdout.splitlines():
        if line.startswith("["):
            left, right = line.rsplit("= ", 1)
            lines.add((left.split("]", 1)[1].strip(), right.split()[0].rstrip("%")))
    return lines


def page_lines(driver):
    """(label, shown value) of every report row of the page that has a label of the text report."""
    return driver.execute_script("""
        return Array.from(document.querySelectorAll('#report tr')).map(function (row) {
            return [row.querySelector('.label').textContent, row.querySelector('.value').textContent];
        });""")


def set_field(driver, name, text):
    field = driver.find_element(By.NAME, name)
    field.send_keys(Keys.CONTROL, "a")
    field.send_keys(Keys.DELETE)
    field.send_keys(text)


def charts_drawn(driver):
    return driver.execute_script("""
        return arguments[0].map(function (kind) {
            var canvas = document.querySelector('canvas[data-chart="' + kind + '"]');
            var chart = canvas && Chart.getChart(canvas);
            return chart && chart.data.datasets.length > 0 &&
                chart.data.datasets.every(function (d) { return d.data.length > 0; }) ? kind : null;
        });""", CHARTS)


def main():
    ui, perf, _, database, output = program_paths()
    server = UiServer(ui, database)
    failures = []
    with tempfile.TemporaryDirectory() as profile:
        driver = browser(profile)
        try:
            wait = WebDriverWait(driver, WAIT_S)
            set_viewport(driver, 1280, 800)
            driver.get(server.url)
            wait.until(lambda d: d.find_elements(By.NAME, "throttle-pct"))
            set_field(driver, "throttle-pct", "75")
            want = document_text(perf, database, ["--throttle-pct", "75"], "T_c_K")
            cell = '[data-member="calculated.T_c_K"]'
            wait.until(lambda d: [e.get_attribute("data-value") for e in d.find_elements(By.CSS_SELECTOR, cell)]
                       == [want])
            wait.until(lambda d: charts_drawn(d) == CHARTS)
            # Every value shown with a label of the text report is shown as that report rounds it.
            report_lines = text_report_lines(perf, database, ["--throttle-pct", "75"])
            labels = {label for label, _ in report_lines}
            shown = [tuple(line) for line in page_lines(driver) if line[0] in labels]
            if len(shown) < 30 or not set(shown) <= report_lines:
                failures.append("rows unlike the text report: %r" % sorted(set(shown) - report_lines))
            driver.execute_script("window.scrollTo(0, 0);")
            driver.save_screenshot(os.path.join(output, "lre-ui.png"))

            set_field(driver, "throttle-pct", "120")
            alert = '[role="alert"]'
            message = "TQ-12B throttle percentage must be between 40 and 110."
            wait.until(lambda d: d.find_element(By.CSS_SELECTOR, alert).is_displayed() and
                       d.find_element(By.CSS_SELECTOR, alert).text == message)
            if "stale" not in driver.find_element(By.ID, "report").get_attribute("class"):
                failures.append("the last good result is not marked stale")
            if driver.find_element(By.CSS_SELECTOR, cell).get_attribute("data-value") != want:
                failures.append("the last good result was not kept")
            driver.save_screenshot(os.path.join(output, "lre-ui-alert.png"))

            # Narrow window: nothing may need sideways scrolling.
            set_viewport(driver, 420, 800)
            overflow = driver.execute_script("""
                return Array.from(document.querySelectorAll('body *')).filter(function (e) {
                    return e.getBoundingClientRect().right > window.innerWidth + 1;
                }).map(function (e) { return e.tagName + '.' + e.className; });""")
            if overflow:
                failures.append("wider than a narrow window: %r" % overflow[:5])
        except Exception as error:  # any wait that timed out, with what the page showed
            failures.append("%s: %s; page status %r" % (type(error).__name__, error,
                                                       driver.find_element(By.ID, "status").text))
        finally:
            driver.quit()
    failures += server.stop()
    report(failures, "lre-ui in a browser")


main()
