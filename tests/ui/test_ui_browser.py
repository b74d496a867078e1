"""The page in headless Chromium: tq12b at 75 % shows the document's chamber
temperature, every curve, and each value with a label of lre-perf's text
report as that report rounds it; 120 % shows the alert with the last result
kept as stale; a narrow window needs no sideways scrolling."""
import os
import subprocess
import tempfile

from selenium import webdriver
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.common.keys import Keys
from selenium.webdriver.support.ui import WebDriverWait

from ui_server import UiServer, program_paths, report

CHARTS = ["throttle", "altitude", "epsilon", "k"]
CELL = '[data-member="calculated.T_c_K"]'
ALERT = '[role="alert"]'
SCRIPTS = {  # run in the page
    "charts": """return arguments[0].filter(function (kind) {
        var chart = Chart.getChart(document.querySelector('canvas[data-chart="' + kind + '"]'));
        return chart && chart.data.datasets.length > 0 && chart.data.datasets.every(function (d) {
            return d.data.length > 0; }); });""",
    "rows": """return Array.from(document.querySelectorAll('#report tr')).map(function (row) {
        return [row.querySelector('.label').textContent, row.querySelector('.value').textContent]; });""",
    "too wide": """return Array.from(document.querySelectorAll('body *')).filter(function (e) {
        return e.getBoundingClientRect().right > window.innerWidth + 1; }).map(function (e) { return e.tagName; });""",
}


def main():
    ui, perf, _, database, output = program_paths()
    lre_perf = lambda *words: subprocess.run([perf, database, "--throttle-pct", "75", *words], capture_output=True,
                                             text=True, check=True).stdout.splitlines()
    want = [line.split(":")[1].strip(" ,") for line in lre_perf("--json") if '"T_c_K":' in line]
    report_lines = {(left.split("]", 1)[1].strip(), right.split()[0].rstrip("%"))
                    for left, _, right in (line.rpartition("= ") for line in lre_perf() if line.startswith("["))}
    server, failures = UiServer(ui, database), []
    options = webdriver.ChromeOptions()
    options.binary_location = os.environ.get("LRE_CHROMIUM", "/usr/bin/chromium")
    with tempfile.TemporaryDirectory() as profile:
        for argument in ["--headless", "--no-sandbox", "--disable-gpu", "--no-first-run", "--no-proxy-server",
                         "--disable-background-networking", "--user-data-dir=" + profile]:
            options.add_argument(argument)
        driver = webdriver.Chrome(service=Service(os.environ.get("LRE_CHROMEDRIVER", "/usr/bin/chromedriver")),
                                  options=options)
        wait = WebDriverWait(driver, 30).until
        viewport = lambda width: driver.execute_cdp_cmd("Emulation.setDeviceMetricsOverride", {
            "width": width, "height": 800, "deviceScaleFactor": 1, "mobile": False})
        throttle = lambda text: driver.find_element(By.NAME, "throttle-pct").send_keys(
            Keys.CONTROL, "a", Keys.NULL, Keys.DELETE, text)
        try:
            viewport(1280)
            driver.get(server.url)
            wait(lambda d: d.find_elements(By.NAME, "throttle-pct"))
            throttle("75")
            wait(lambda d: [e.get_attribute("data-value") for e in d.find_elements(By.CSS_SELECTOR, CELL)] == want)
            wait(lambda d: d.execute_script(SCRIPTS["charts"], CHARTS) == CHARTS)
            labels = {label for label, _ in report_lines}
            shown = {tuple(row) for row in driver.execute_script(SCRIPTS["rows"]) if row[0] in labels}
            if len(shown) < 30 or not shown <= report_lines:
                failures.append("rows unlike the text report: %r" % sorted(shown - report_lines))
            driver.save_screenshot(os.path.join(output, "lre-ui.png"))
            throttle("120")
            wait(lambda d: d.find_element(By.CSS_SELECTOR, ALERT).is_displayed() and d.find_element(
                By.CSS_SELECTOR, ALERT).text == "TQ-12B throttle percentage must be between 40 and 110.")
            if "stale" not in driver.find_element(By.ID, "report").get_attribute("class") or \
                    driver.find_element(By.CSS_SELECTOR, CELL).get_attribute("data-value") != want[0]:
                failures.append("the last good result is not kept and marked stale")
            driver.save_screenshot(os.path.join(output, "lre-ui-alert.png"))
            viewport(420)
            failures += ["wider than a narrow window: %r" % tag for tag in driver.execute_script(SCRIPTS["too wide"])]
        except Exception as error:  # any wait that timed out, with what the page showed
            failures.append("%r; page status %r" % (error, driver.find_element(By.ID, "status").text))
        finally:
            driver.quit()
    report(failures + server.stop(), "lre-ui in a browser")


main()
