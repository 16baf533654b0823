#!/usr/bin/python3
"""The report server's web dashboard in a real headless Chromium.

Reports reach the server over the report protocol (report_tool, built on the
server tests' own helpers); what the dashboard shows is read back from the
browser, and what it changes is read back over the protocol.

  dashboard_browser_test.py --server BIN --tool BIN [unittest arguments]
  dashboard_browser_test.py --server BIN --tool BIN --screenshots DIR
"""
import argparse
import http.server
import io
import os
import re
import shutil
import struct
import subprocess
import sys
import tempfile
import threading
import time
import unittest
import urllib.error
import urllib.request
import zipfile
import zlib

from selenium import webdriver
from selenium.common.exceptions import (NoAlertPresentException, NoSuchElementException,
                                        StaleElementReferenceException, WebDriverException)
from selenium.webdriver.chrome.service import Service
from selenium.webdriver.common.by import By
from selenium.webdriver.support.ui import WebDriverWait

ARGS = None
NEW, REFIX, FIXED, CONFIRMED, NO_PROBLEM = 0, 1, 0x80000000, 0x80000001, 0x80000002
TEXT, SNAPSHOT = 1, 2
# Long enough for a busy machine; the dashboard itself polls every second.
WAIT_S = 10


def png(width, height):
    """An RGB PNG with a gradient, so that a broken decode cannot pass."""
    rows = b''.join(b'\0' + b''.join(bytes((x * 255 // width, y * 255 // height, 128)) for x in range(width))
                    for y in range(height))

    def chunk(kind, data):
        return struct.pack('>I', len(data)) + kind + data + struct.pack('>I', zlib.crc32(kind + data))
    return (b'\x89PNG\r\n\x1a\n' + chunk(b'IHDR', struct.pack('>IIBBBBB', width, height, 8, 2, 0, 0, 0)) +
            chunk(b'IDAT', zlib.compress(rows)) + chunk(b'IEND', b''))


def script_info(text):
    """scriptinfo.txt as the DLL writes it: header and text in code page 932, CRLF, a final 0."""
    header = '[tqvm.dat]\r\nhash: 0123456789abcdef0123456789abcdef\r\ndate: 2026/12/07 20:15\r\nsize: 1234\r\n\r\n' \
             '[ LABEL名 ]\r\n*第一章\r\n\r\n[ 報告内容 ]\r\n\r\n'
    return (header + text + '\r\n').encode('cp932') + b'\0'


def object_list(rows):
    return ''.join(''.join('"%s",' % cell for cell in row) + '\n' for row in rows).encode('cp932') + b'\0'


class Server:
    """vnscope-server on ephemeral ports over a fresh data directory."""

    def __init__(self, workdir, extra=()):
        self.workdir = workdir
        self.data = tempfile.mkdtemp(dir=workdir)
        self.log_path = os.path.join(self.data, 'server.log')
        self.log = open(self.log_path, 'wb')
        # Nothing of the test runner's: a server left behind must not hold its
        # output pipe open.
        self.process = subprocess.Popen(
            [ARGS.server, '--listen', '127.0.0.1:0', '--http', '127.0.0.1:0', '--data', os.path.join(self.data, 'db'),
             *extra], stdin=subprocess.DEVNULL, stdout=self.log, stderr=self.log)
        deadline = time.time() + 60
        while time.time() < deadline:
            with open(self.log_path, encoding='utf-8', errors='replace') as log:
                text = log.read()
            port = re.search(r'listening on 127\.0\.0\.1:(\d+)', text)
            url = re.search(r'dashboard on (http://\S+)', text)
            if port and url:
                self.port, self.url = int(port.group(1)), url.group(1).rstrip('/')
                return
            if self.process.poll() is not None:
                break
            time.sleep(0.05)
        self.stop()
        with open(self.log_path, encoding='utf-8', errors='replace') as log:
            raise RuntimeError('server did not start:\n' + log.read())

    def submit(self, flags, title, reporter='tester', **entries):
        args = [ARGS.tool, 'submit', str(self.port), str(flags), title, reporter]
        for entry, data in entries.items():
            path = os.path.join(self.data, 'entry-' + entry)
            with open(path, 'wb') as f:
                f.write(data)
            args.append({'text': 'scriptinfo.txt', 'snapshot': 'snapshot.png', 'objects': 'objectlist.csv',
                         'variables': 'variables.csv', 'gamestate': 'gamestate.txt', 'log': 'executionlog.txt'}[entry] +
                        '=' + path)
        return subprocess.run(args, check=True, capture_output=True, text=True).stdout.strip()

    def states(self):
        out = subprocess.run([ARGS.tool, 'list', str(self.port)], check=True, capture_output=True, text=True).stdout
        return {name: int(state) for name, state in (line.split() for line in out.splitlines())}

    def set_state(self, name, state):
        subprocess.run([ARGS.tool, 'set-state', str(self.port), name, str(state)], check=True)

    def stop(self):
        if self.process.poll() is None:
            self.process.terminate()
            self.process.wait(60)
        self.log.close()


def browser(width=1280, height=900):
    options = webdriver.ChromeOptions()
    options.binary_location = shutil.which('chromium') or '/usr/bin/chromium'
    profile = tempfile.mkdtemp(prefix='vnscope-chromium-')
    for flag in ('--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
                 '--disable-background-networking', '--disable-component-update', '--disable-sync',
                 '--disable-dev-shm-usage', '--user-data-dir=' + profile, '--window-size=%d,%d' % (width, height),
                 '--lang=ja'):
        options.add_argument(flag)
    driver = webdriver.Chrome(service=Service(shutil.which('chromedriver') or '/usr/bin/chromedriver'),
                              options=options)
    driver.profile_dir = profile
    return driver


def close_browser(driver):
    driver.quit()
    shutil.rmtree(driver.profile_dir, ignore_errors=True)


def fetch(url, cookie=None):
    """(status, headers, body) without following redirects."""
    class NoRedirect(urllib.request.HTTPRedirectHandler):
        def redirect_request(self, *args):
            return None
    request = urllib.request.Request(url, headers={'Cookie': cookie} if cookie else {})
    try:
        with urllib.request.build_opener(NoRedirect).open(request, timeout=30) as answer:
            return answer.status, answer.headers, answer.read()
    except urllib.error.HTTPError as error:
        return error.code, error.headers, error.read()


def wait_for(driver, condition, message):
    # The live part of a page is replaced whole when it changes; elements
    # found just before that go stale. Chrome reports the same race as a
    # plain DevTools error when the node is swapped out between finding it
    # and reading it, so that one counts as stale too.
    def attempt(_):
        try:
            return condition()
        except WebDriverException as error:
            if 'does not belong to the document' in str(error):
                return False
            raise
    return WebDriverWait(driver, WAIT_S, poll_frequency=0.1,
                         ignored_exceptions=(StaleElementReferenceException, NoSuchElementException)).until(
        attempt, message)


def rgb(element, prop='color'):
    return tuple(int(v) for v in re.findall(r'\d+', element.value_of_css_property(prop))[:3])


# The report browser's state colours: the hues the dashboard keeps.
LABELS = {NEW: '新着', REFIX: '再修正依頼', FIXED: '修正済', CONFIRMED: '完了', NO_PROBLEM: '問題なし'}
HUES = {REFIX: (255, 0, 0), FIXED: (128, 128, 128), CONFIRMED: (192, 192, 192), NO_PROBLEM: (192, 240, 240)}

# Every text node that is a state's label, with its computed colour and the
# background colours of its element and each ancestor, innermost first.
STATE_TEXTS_SCRIPT = """
const labels = new Set(arguments[0]);
const found = [];
const walker = document.createTreeWalker(document.body, NodeFilter.SHOW_TEXT);
while (walker.nextNode()) {
  const text = walker.currentNode.textContent.trim();
  if (!labels.has(text)) continue;
  const element = walker.currentNode.parentElement;
  const backgrounds = [];
  for (let e = element; e; e = e.parentElement) backgrounds.push(getComputedStyle(e).backgroundColor);
  found.push({text: text, tag: element.tagName, color: getComputedStyle(element).color, backgrounds: backgrounds});
}
return found;
"""


def rgba(css):
    parts = [float(v) for v in re.findall(r'[\d.]+', css)]
    return parts[:3], parts[3] if len(parts) > 3 else 1.0


def over(top, alpha, bottom):
    return [t * alpha + b * (1 - alpha) for t, b in zip(top, bottom)]


def luminance(colour):
    """WCAG 2 relative luminance of an sRGB colour with 0-255 channels."""
    def linear(channel):
        c = channel / 255
        return c / 12.92 if c <= 0.04045 else ((c + 0.055) / 1.055) ** 2.4
    r, g, b = (linear(c) for c in colour)
    return 0.2126 * r + 0.7152 * g + 0.0722 * b


def contrast(first, second):
    """WCAG 2 contrast ratio, (L1 + 0.05) / (L2 + 0.05) with L1 the lighter."""
    high, low = sorted((luminance(first), luminance(second)), reverse=True)
    return (high + 0.05) / (low + 0.05)


def state_texts(driver):
    """(label, tag, text colour, background it sits on) for every state label shown."""
    shown = []
    for item in driver.execute_script(STATE_TEXTS_SCRIPT, list(LABELS.values())):
        background = [255.0, 255.0, 255.0]  # the canvas under the page
        for css in reversed(item['backgrounds']):
            colour, alpha = rgba(css)
            background = over(colour, alpha, background)
        colour, alpha = rgba(item['color'])
        shown.append((item['text'], item['tag'], over(colour, alpha, background), background))
    return shown


class DashboardTestCase(unittest.TestCase):
    extra_args = ()

    @classmethod
    def setUpClass(cls):
        # Class cleanups run also when a later step here fails (a browser that
        # cannot start): the server is stopped and the test fails at once.
        cls.workdir = tempfile.mkdtemp(prefix='vnscope-dashboard-test-')
        cls.addClassCleanup(shutil.rmtree, cls.workdir, ignore_errors=True)
        cls.server = Server(cls.workdir, cls.extra_args)
        cls.addClassCleanup(cls.server.stop)
        cls.driver = browser()
        cls.addClassCleanup(close_browser, cls.driver)

    def open(self, path):
        self.driver.get(self.server.url + path)

    def rows(self):
        return {row.get_attribute('data-name'): row for row in self.driver.find_elements(By.CSS_SELECTOR, 'tr[data-name]')}

    def mark_page(self):
        """A marker that a reload would wipe out."""
        self.driver.execute_script('window.notReloaded = true')

    def assert_not_reloaded(self):
        self.assertTrue(self.driver.execute_script('return window.notReloaded === true'), 'the page was reloaded')


class OpenDashboardTest(DashboardTestCase):
    """Without a secret: loopback, no login."""

    def test_tabs_list_their_reports_with_counts_and_colours(self):
        # One report per case; the tab rules and colours are the report browser's.
        cases = [  # title, flags, state, tabs it is listed under, colour of its state
            ('tabs a', TEXT, NEW, {0, 1}, (255, 255, 255)),
            ('tabs b', TEXT, FIXED, {0}, (128, 128, 128)),
            ('tabs c', SNAPSHOT, NEW, {2, 3}, (255, 255, 255)),
            ('tabs d', TEXT | SNAPSHOT, REFIX, {0, 1, 2, 3}, (255, 0, 0)),
            ('tabs e', TEXT | SNAPSHOT, NO_PROBLEM, {0, 2}, (192, 240, 240)),
            ('tabs f', SNAPSHOT, CONFIRMED, {2}, (192, 192, 192)),
        ]
        names = {}
        for title, flags, state, _, _ in cases:
            names[title] = self.server.submit(flags, title, text=script_info(title))
            if state != NEW:
                self.server.set_state(names[title], state)
        self.open('/?q=tabs')
        tabs = self.driver.find_elements(By.CSS_SELECTOR, 'nav.tabs a')
        self.assertEqual([t.text for t in tabs], ['TXT未処理 2', 'TXT全件 4', 'SS付き未処理 2', 'SS付き全件 4'])
        self.assertIn('current', tabs[0].get_attribute('class'), 'TXT未処理 is the first tab shown')
        for tab_index, caption in ((1, 'TXT未処理'), (0, 'TXT全件'), (3, 'SS付き未処理'), (2, 'SS付き全件')):
            self.driver.find_element(By.CSS_SELECTOR, 'nav.tabs a[data-tab="%d"]' % tab_index).click()
            wait_for(self.driver, lambda: caption in self.driver.find_element(By.CSS_SELECTOR, 'nav.tabs a.current').text,
                     caption)
            rows = self.rows()
            expected = [names[c[0]] for c in reversed(cases) if tab_index in c[3]]
            self.assertEqual(list(rows), expected, caption + ': its reports, newest first')
            for title, _, state, tabs_of, colour in cases:
                if tab_index in tabs_of:
                    badge = rows[names[title]].find_element(By.CSS_SELECTOR, 'td.state span')
                    self.assertEqual(badge.text, LABELS[state], title)
                    self.assertEqual(rgb(badge, 'background-color'), colour, title)

    def test_report_page_shows_text_snapshot_objects_and_package(self):
        raw = script_info('立ち絵が①番の位置で～ずれる\r\n二行目')[:-3] + b'\xff' + 'の終わり\r\n'.encode('cp932') + b'\0'
        snapshot = png(321, 123)
        objects = object_list([['1', '背景', 'BG', '表示', '0', '0'], ['2', '立ち絵', 'BU', '非表示']])
        name = self.server.submit(TEXT | SNAPSHOT, 'ページの表示', reporter='山田', text=raw, snapshot=snapshot,
                                  objects=objects)
        self.open('/reports/' + name)
        self.assertEqual(self.driver.find_element(By.TAG_NAME, 'h1').text, 'ページの表示')
        self.assertEqual(self.driver.find_element(By.CSS_SELECTOR, 'dd.reporter').text, '山田')
        self.assertEqual(self.driver.find_element(By.CSS_SELECTOR, 'dd.state').text, '新着')
        self.assertEqual(self.driver.find_element(By.CSS_SELECTOR, 'dd.peer').text.split(':')[0], '127.0.0.1')
        shown = self.driver.find_element(By.ID, 'report-text').get_property('textContent')
        # Code page 932 whole (① and ～ are not in plain Shift_JIS), the byte
        # that does not decode kept as a replacement character.
        self.assertIn('[ 報告内容 ]\n\n立ち絵が①番の位置で～ずれる\n二行目\ufffdの終わり', shown)
        self.assertTrue(shown.startswith('[tqvm.dat]\nhash: 0123456789abcdef'), shown[:40])
        image = self.driver.find_element(By.ID, 'snapshot')
        wait_for(self.driver, lambda: image.get_property('complete'), 'snapshot loaded')
        self.assertEqual((image.get_property('naturalWidth'), image.get_property('naturalHeight')), (321, 123))
        self.assertTrue(image.find_element(By.XPATH, '..').get_attribute('href').endswith('/snapshot.png'))
        cells = [[td.text for td in tr.find_elements(By.TAG_NAME, 'td')]
                 for tr in self.driver.find_elements(By.CSS_SELECTOR, 'section.objects tbody tr')]
        self.assertEqual(cells, [['1', '背景', 'BG', '表示', '0', '0'], ['2', '立ち絵', 'BU', '非表示', '', '']])
        link = self.driver.find_element(By.CSS_SELECTOR, 'p.download a').get_attribute('href')
        status, headers, body = fetch(link)
        self.assertEqual(status, 200)
        self.assertIn('attachment; filename="%s.zip"' % name, headers['Content-Disposition'])
        with zipfile.ZipFile(io.BytesIO(body)) as package:
            self.assertEqual(package.read('scriptinfo.txt'), raw)
            self.assertEqual(package.read('snapshot.png'), snapshot)
            self.assertEqual(package.read('objectlist.csv'), objects)

    def test_state_changes_from_the_button_and_from_the_protocol(self):
        name = self.server.submit(TEXT, 'state buttons', text=script_info('x'))
        self.open('/reports/' + name)
        self.driver.find_element(By.XPATH, '//form[@class="states"]/button[text()="修正済"]').click()
        wait_for(self.driver, lambda: self.driver.find_element(By.CSS_SELECTOR, 'dd.state').text == '修正済', 'button')
        self.assertEqual(self.server.states()[name], FIXED, 'ListReports sees the change')
        self.mark_page()
        self.server.set_state(name, REFIX)
        wait_for(self.driver, lambda: self.driver.find_element(By.CSS_SELECTOR, 'dd.state').text == '再修正依頼',
                 'change over the protocol shows on the open page')
        self.assert_not_reloaded()
        history = [[td.text for td in tr.find_elements(By.TAG_NAME, 'td')][1:3]
                   for tr in self.driver.find_elements(By.CSS_SELECTOR, 'section.history tbody tr')]
        self.assertEqual(history, [['新着 → 修正済', 'ダッシュボード'], ['修正済 → 再修正依頼', 'レポートブラウザ']])
        self.assertEqual(rgb(self.driver.find_element(By.CSS_SELECTOR, 'dd.state span'), 'background-color'),
                         (255, 0, 0))

    def test_every_state_text_reads_at_contrast_four_and_a_half(self):
        # A report that went through every state: its page shows each label
        # as a button, in the history and as its current state, and the list
        # shows reports in each state.
        name = self.server.submit(TEXT, 'contrast', text=script_info('x'))
        for state in (REFIX, FIXED, CONFIRMED, NO_PROBLEM):
            self.server.set_state(name, state)
        for state in LABELS:
            other = self.server.submit(TEXT, 'contrast %d' % state, text=script_info('x'))
            if state != NEW:
                self.server.set_state(other, state)
        for path in ('/reports/' + name, '/?tab=0&q=contrast'):
            self.open(path)
            shown = state_texts(self.driver)
            self.assertEqual({text for text, _, _, _ in shown}, set(LABELS.values()), path)
            for text, tag, colour, background in shown:
                ratio = contrast(colour, background)
                self.assertGreaterEqual(ratio, 4.5, '%s %s on %s: %.2f' % (tag, text, background, ratio))
            # The hues stay the report browser's: each coloured state shows
            # its colour, as text or as what the text sits on.
            for state, hue in HUES.items():
                self.assertTrue(any(text == LABELS[state] and hue in (tuple(round(c) for c in colour),
                                                                      tuple(round(c) for c in background))
                                    for text, _, colour, background in shown), LABELS[state])

    def test_a_report_sent_while_the_list_is_open_appears(self):
        self.open('/?tab=0&q=arrives')
        self.assertEqual(self.rows(), {})
        self.mark_page()
        name = self.server.submit(TEXT, 'arrives later', text=script_info('late'))
        wait_for(self.driver, lambda: name in self.rows(), 'the new report is listed')
        self.assert_not_reloaded()
        self.assertEqual(self.driver.find_element(By.CSS_SELECTOR, 'nav.tabs a[data-tab="0"]').text, 'TXT全件 1')

    def test_what_a_sender_wrote_is_shown_as_text_and_runs_nothing(self):
        title = '<script>alert(1)</script>'
        reporter = '<img src=x onerror=alert(2)>'
        name = self.server.submit(TEXT | SNAPSHOT, title, reporter=reporter, text=script_info('<b>本文</b>'),
                                  snapshot=png(8, 8), objects=object_list([['<script>alert(3)</script>', '"q"']]))
        status, headers, _ = fetch(self.server.url + '/')
        policy = headers['Content-Security-Policy']
        self.assertIn("script-src 'self'", policy)
        self.assertNotIn('unsafe-inline', policy)
        pages = (('/?q=%3Cscript%3E', REFIX, '再修正依頼',
                  lambda: self.rows()[name].find_element(By.CSS_SELECTOR, 'td.state').text),
                 ('/reports/' + name, NEW, '新着', lambda: self.driver.find_element(By.CSS_SELECTOR, 'dd.state').text))
        for path, state, label, shown in pages:
            self.open(path)
            # What the page could run has had its turn: it has loaded whole
            # (failed images report before that), and its live part has been
            # rebuilt from the server's markup once more.
            wait_for(self.driver, lambda: self.driver.execute_script('return document.readyState') == 'complete',
                     'the page loaded')
            self.server.set_state(name, state)
            wait_for(self.driver, lambda: shown() == label, 'the live part shows the new state')
            with self.assertRaises(NoAlertPresentException):
                self.driver.switch_to.alert.text
            self.assertEqual(self.driver.find_elements(By.CSS_SELECTOR, 'main script, main img[src="x"]'), [])
        self.assertEqual(self.driver.find_element(By.TAG_NAME, 'h1').text, title)
        self.assertEqual(self.driver.find_element(By.CSS_SELECTOR, 'dd.reporter').text, reporter)
        self.assertIn('<b>本文</b>', self.driver.find_element(By.ID, 'report-text').text)
        self.assertEqual([td.text for td in self.driver.find_elements(By.CSS_SELECTOR, 'section.objects tbody td')][:2],
                         ['<script>alert(3)</script>', '"q"'])
        self.open('/?q=%3Cscript%3E')
        self.assertEqual(self.rows()[name].find_element(By.CSS_SELECTOR, 'td.title').text, title)

    def test_game_state_section_filters_variables_as_typed_and_links_its_label(self):
        # The entries as the DLL writes them: UTF-8, CRLF, the table with a BOM.
        variables = ('\ufeffindex,name,value,register\r\n0,$好感度_さくら,10,3\r\n1,"$a,""b""",-1,\r\n'
                     '2,%好感度_あおい,7,\r\n').encode()
        log = ''.join('%04d: line\r\n' % i for i in range(400)).encode()
        state = lambda label: ('label: %s\r\nvoice: v01.ogg\r\nbgs: \r\nscreen: 1920x1080\r\n' % label).encode()
        name = self.server.submit(TEXT, 'ゲーム状態つき', variables=variables, gamestate=state('*第二章'), log=log)
        same_label = self.server.submit(TEXT, '同じラベル', gamestate=state('*第二章'))
        self.server.submit(TEXT, '別のラベル', gamestate=state('*第二章_夜'))
        older = self.server.submit(TEXT, '古いDLLから', text=script_info('x'))
        self.open('/reports/' + older)
        self.assertEqual(self.driver.find_elements(By.CSS_SELECTOR, 'section.game-state'), [])
        self.open('/reports/' + name)
        section = self.driver.find_element(By.CSS_SELECTOR, 'section.game-state')
        self.assertEqual(section.find_element(By.TAG_NAME, 'h2').text, 'ゲーム状態')
        self.assertEqual(section.find_element(By.CSS_SELECTOR, 'dd[data-key="voice"]').text, 'v01.ogg')
        cells = lambda: [[td.text for td in tr.find_elements(By.TAG_NAME, 'td')]
                         for tr in self.driver.find_elements(By.CSS_SELECTOR, '#variables tbody tr') if tr.is_displayed()]
        self.assertEqual(cells(), [['0', '$好感度_さくら', '10', '3'], ['1', '$a,"b"', '-1', ''],
                                   ['2', '%好感度_あおい', '7', '']])
        self.driver.find_element(By.ID, 'variable-filter').send_keys('好感度')
        wait_for(self.driver, lambda: len(cells()) == 2, 'two names hold the text')
        self.driver.find_element(By.ID, 'variable-filter').send_keys('_あ')
        wait_for(self.driver, lambda: [c[1] for c in cells()] == ['%好感度_あおい'], 'one name holds it now')
        block = self.driver.find_element(By.ID, 'execution-log')
        self.assertTrue(self.driver.execute_script('return arguments[0].scrollHeight > arguments[0].clientHeight', block),
                        'the log scrolls inside its block')
        self.assertIn('0399: line', block.get_attribute('textContent'))
        section.find_element(By.CSS_SELECTOR, 'a.label-filter').click()
        wait_for(self.driver, lambda: set(self.rows()) == {name, same_label}, 'the list of that exact label')
        # A search made there keeps the label: 'ラベル' alone would also list the other label's report.
        search = self.driver.find_element(By.CSS_SELECTOR, 'form.search input[name="q"]')
        search.send_keys('ラベル')
        search.submit()
        wait_for(self.driver, lambda: set(self.rows()) == {same_label}, 'searched within the label')

    def test_comments_and_assignee_from_the_page_and_the_list_filters(self):
        name = self.server.submit(TEXT, 'コメントと担当', text=script_info('x'))
        other = self.server.submit(TEXT, 'コメントと担当 その2', text=script_info('y'))
        self.open('/reports/' + name)
        form = self.driver.find_element(By.CSS_SELECTOR, 'form.comment')
        form.find_element(By.NAME, 'by').send_keys('鈴木')
        form.find_element(By.NAME, 'text').send_keys('<script>alert(9)</script>\n二行目')
        form.find_element(By.TAG_NAME, 'button').click()
        wait_for(self.driver, lambda: self.driver.find_elements(By.CSS_SELECTOR, 'section.comments .comment-text'),
                 'the comment shows')
        with self.assertRaises(NoAlertPresentException):
            self.driver.switch_to.alert.text
        self.assertEqual(self.driver.find_element(By.CSS_SELECTOR, 'section.comments .comment-text').text,
                         '<script>alert(9)</script>\n二行目')
        self.assertEqual(self.driver.find_element(By.CSS_SELECTOR, 'section.comments .by').text, '鈴木')
        self.assertEqual(self.driver.find_elements(By.CSS_SELECTOR, 'main script'), [])
        self.assertIn('鈴木 としてコメント', self.driver.find_element(By.CSS_SELECTOR, 'form.comment').text,
                      'the browser keeps the name')
        self.driver.find_element(By.CSS_SELECTOR, 'form.assignee button[value="me"]').click()
        wait_for(self.driver, lambda: self.driver.find_element(By.CSS_SELECTOR, 'dd.assignee').text == '鈴木', 'taken')
        kinds = [tr.get_attribute('data-kind') for tr in self.driver.find_elements(By.CSS_SELECTOR, 'section.history tbody tr')]
        self.assertEqual(kinds, ['comment', 'assignee'])
        self.open('/?tab=0&q=%E3%82%B3%E3%83%A1%E3%83%B3%E3%83%88%E3%81%A8%E6%8B%85%E5%BD%93')
        self.assertEqual(self.rows()[name].find_element(By.CSS_SELECTOR, 'td.assignee').text, '鈴木')
        self.driver.find_element(By.ID, 'assignee-mine').click()
        wait_for(self.driver, lambda: list(self.rows()) == [name], 'mine')
        self.driver.find_element(By.ID, 'assignee-none').click()
        wait_for(self.driver, lambda: list(self.rows()) == [other], 'nobody\'s')
        self.driver.find_element(By.ID, 'assignee-all').click()
        wait_for(self.driver, lambda: list(self.rows()) == [other, name], 'everyone\'s')
        status, headers, body = fetch(self.driver.find_element(By.ID, 'csv-export').get_attribute('href'))
        self.assertEqual(status, 200)
        self.assertTrue(body.startswith(b'\xef\xbb\xbfname,title,'), 'UTF-8 with a byte-order mark')
        lines = body.decode('utf-8-sig').split('\r\n')
        self.assertEqual([line.split(',')[0] for line in lines[1:-1]], [other, name])
        self.assertIn('鈴木', lines[2])
        # Over 64 KiB of comment is refused and stores nothing.
        self.open('/reports/' + other)
        self.driver.execute_script("document.getElementById('comment-text').value = 'x'.repeat(65537)")
        self.driver.find_element(By.CSS_SELECTOR, 'form.comment button').click()
        wait_for(self.driver, lambda: '64 KiB' in self.driver.find_element(By.TAG_NAME, 'main').text, 'refused')
        self.open('/reports/' + other)
        self.assertEqual(self.driver.find_elements(By.CSS_SELECTOR, 'section.comments .comment-text'), [])
        # "Mine" from a page whose name was forgotten meanwhile takes nothing.
        self.driver.delete_cookie('vnscope_name')
        self.driver.find_element(By.CSS_SELECTOR, 'form.assignee button[value="me"]').click()
        wait_for(self.driver, lambda: '名前を入れてください' in self.driver.find_element(By.TAG_NAME, 'main').text,
                 'refused without a name')


class AttackerPage(http.server.BaseHTTPRequestHandler):
    """A page of another site that posts a state change to the dashboard."""
    target = ''

    def do_GET(self):
        page = ('<form method="post" action="%s"><input name="state" value="2147483648">'
                '<input name="csrf" value="guess"></form><script>document.forms[0].submit()</script>' % self.target)
        self.send_response(200)
        self.send_header('Content-Type', 'text/html')
        self.end_headers()
        self.wfile.write(page.encode())

    def log_message(self, *args):
        pass


class SecretDashboardTest(DashboardTestCase):
    """With --http-secret-file: a login for everything."""
    secret = 'correct horse battery staple'

    @classmethod
    def setUpClass(cls):
        secret_dir = tempfile.mkdtemp(prefix='vnscope-secret-')
        cls.addClassCleanup(shutil.rmtree, secret_dir, ignore_errors=True)
        cls.secret_file = os.path.join(secret_dir, 'secret')
        with open(cls.secret_file, 'w') as f:
            f.write(cls.secret + '\n')
        cls.extra_args = ('--http-secret-file', cls.secret_file)
        super().setUpClass()
        cls.name = cls.server.submit(TEXT | SNAPSHOT, '秘密のタイトル', text=script_info('秘密'), snapshot=png(4, 4))

    def log_in(self, secret):
        field = self.driver.find_element(By.NAME, 'secret')
        field.clear()
        field.send_keys(secret)
        field.submit()

    def test_every_page_and_the_package_need_the_login(self):
        for path in ('/', '/?tab=0', '/reports/' + self.name, '/reports/' + self.name + '/snapshot.png',
                     '/reports/' + self.name + '/package.zip', '/api/revision'):
            status, headers, body = fetch(self.server.url + path)
            self.assertIn(status, (303, 403), path)
            if status == 303:
                self.assertTrue(headers['Location'].startswith('/login'), path)
            self.assertNotIn('秘密'.encode(), body, path)
            self.assertNotIn(b'PK\x03\x04', body, path)
            self.assertNotIn(b'PNG', body, path)
        status, _, _ = fetch(self.server.url + '/', cookie='vnscope_session=' + '0' * 64)
        self.assertEqual(status, 303, 'a made-up session')

    def test_wrong_secret_fails_and_the_right_one_opens_the_page_asked_for(self):
        self.driver.delete_all_cookies()
        self.open('/reports/' + self.name)
        self.assertIn('/login', self.driver.current_url)
        self.log_in('correct horse battery stapl')
        wait_for(self.driver, lambda: self.driver.find_elements(By.CSS_SELECTOR, 'p.error'), 'refusal')
        self.assertEqual(self.driver.get_cookies(), [])
        self.log_in(self.secret)
        wait_for(self.driver, lambda: self.driver.find_elements(By.TAG_NAME, 'h1')[0].text == '秘密のタイトル', 'page')
        cookie = self.driver.get_cookie('vnscope_session')
        self.assertTrue(cookie['httpOnly'])
        self.assertEqual(cookie['sameSite'], 'Strict')
        status, _, body = fetch(self.server.url + '/reports/%s/package.zip' % self.name,
                                cookie='vnscope_session=' + cookie['value'])
        self.assertEqual(status, 200)
        self.assertTrue(body.startswith(b'PK\x03\x04'))

    def test_a_post_from_another_site_changes_nothing(self):
        self.driver.delete_all_cookies()
        self.open('/login')
        self.log_in(self.secret)
        wait_for(self.driver, lambda: self.driver.find_elements(By.CSS_SELECTOR, 'nav.tabs'), 'logged in')
        AttackerPage.target = '%s/reports/%s/state' % (self.server.url, self.name)
        attacker = http.server.ThreadingHTTPServer(('127.0.0.1', 0), AttackerPage)
        threading.Thread(target=attacker.serve_forever, daemon=True).start()
        try:
            # Another port of the same address (same site, so the cookie goes
            # along) and another host name (a different site).
            for host in ('127.0.0.1', 'localhost'):
                self.driver.get('http://%s:%d/attack' % (host, attacker.server_port))
                wait_for(self.driver, lambda: self.driver.current_url.startswith(self.server.url),
                         'the form was posted')
                self.assertEqual(self.server.states()[self.name], NEW, host)
        finally:
            attacker.shutdown()
            attacker.server_close()
        # The same session still changes states from the dashboard's own page.
        self.open('/reports/' + self.name)
        self.driver.find_element(By.XPATH, '//form[@class="states"]/button[text()="完了"]').click()
        wait_for(self.driver, lambda: self.server.states()[self.name] == CONFIRMED, 'own page')


def take_screenshots(directory):
    """The list and one report's page, with reports as testers send them."""
    workdir = tempfile.mkdtemp(prefix='vnscope-dashboard-shots-')
    server = Server(workdir)
    driver = None
    try:
        driver = browser(1200, 760)
        samples = [
            ('テキストが枠からはみ出す', '佐藤', TEXT | SNAPSHOT, NEW),
            ('立ち絵の表情が前の場面のまま', '鈴木', TEXT | SNAPSHOT, REFIX),
            ('BGMが二重に鳴る', '高橋', TEXT, NEW),
            ('選択肢の後で既読スキップが止まらない', '田中', TEXT, FIXED),
            ('', '伊藤', TEXT | SNAPSHOT, NEW),
            ('ルビの位置がずれる', '渡辺', TEXT | SNAPSHOT, CONFIRMED),
            ('セーブ画面のサムネイルが黒い', '山本', SNAPSHOT, NEW),
            ('誤字: 「以外」→「意外」', '中村', TEXT, NO_PROBLEM),
            ('<script>alert(1)</script>', '小林', TEXT, NEW),
        ]
        names = []
        for title, reporter, flags, state in samples:
            entries = {'text': script_info(title + ' の報告です。\r\n再現手順: 第一章の冒頭からオートで進める。')}
            if flags & SNAPSHOT:
                entries.update(snapshot=png(480, 270), objects=object_list(
                    [['1', '背景', 'BG', '表示', '0', '0'], ['2', '立ち絵', 'BU', '表示', '320', '40'],
                     ['3', 'メッセージ枠', 'PARTS', '表示', '0', '520']]))
            names.append(server.submit(flags, title, reporter=reporter, **entries))
            if state != NEW:
                server.set_state(names[-1], state)
        server.set_state(names[1], FIXED)
        server.set_state(names[1], REFIX)
        driver.get(server.url + '/?tab=0')
        time.sleep(0.5)
        driver.save_screenshot(os.path.join(directory, 'dashboard-list.png'))
        driver.set_window_size(1200, 1260)
        driver.get(server.url + '/reports/' + names[1])
        time.sleep(0.5)
        driver.save_screenshot(os.path.join(directory, 'dashboard-report.png'))
    finally:
        if driver:
            close_browser(driver)
        server.stop()
        shutil.rmtree(workdir, ignore_errors=True)


def main():
    global ARGS
    parser = argparse.ArgumentParser()
    parser.add_argument('--server', required=True)
    parser.add_argument('--tool', required=True)
    parser.add_argument('--screenshots')
    ARGS, rest = parser.parse_known_args()
    if ARGS.screenshots:
        take_screenshots(ARGS.screenshots)
        return
    unittest.main(argv=[sys.argv[0], '-v', *rest])


if __name__ == '__main__':
    main()
