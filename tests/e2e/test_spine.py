"""The program's spine under Wine: single-instance guard, application title, settings read from the
registry, where the log folder appears, the stop box after a settings failure, and the start
minimised until the operator restores the program."""

import unittest

import harness
from harness import smoke, child, REG_SZ, REG_EXPAND_SZ, REG_BINARY, REG_DWORD, REG_MULTI_SZ
from fixtures import (LABEL, LOG_NAME, MAIN_CAPTION, NO_SERVER, REGISTRY_ERROR, RUN_LINES, Installation, SpineTestCase,
                      hold_guard_as_another_account, wait_main_window, world)

SW_SHOWMINNOACTIVE = 7


class KeyAndLogFolder(SpineTestCase):

    @smoke
    def test_key_absent_runs_through_and_writes_nothing(self):
        sc = self.scenario()
        sc.write_key(None)
        exe = sc.install()
        before = sc.files()
        self.assertEqual(self.run_through(sc, sc.start(exe)), 0)
        self.assertEqual(sc.files(), before)
        self.assertFalse(sc.exists(r'C:\Log'), r'C:\Log made without a key')

    @smoke
    def test_registry_view_of_each_build(self):
        # The 32-bit build sees the 32-bit view only; the 64-bit build takes the 32-bit view when
        # the key is there and the native view only when it is not.
        # (views holding the key, with the LocalPath folder each names; log expected per build)
        rows = [({64: 'Native'}, {32: None, 64: 'Native'}),
                ({32: 'Wow', 64: 'Native'}, {32: 'Wow', 64: 'Wow'})]
        for i, (views, expected) in enumerate(rows):
            with self.subTest(views=sorted(views)):
                sc = self.scenario('registry_view_%d' % i)
                self.addCleanup(sc.write_key, None, 64)
                for view in (32, 64):
                    sc.write_key(None if view not in views else
                                 [('ServerPath', REG_SZ, sc.path('Server')),
                                  ('LocalPath', REG_SZ, sc.path(views[view] + '\\Client')),
                                  ('Pallado_Connection', REG_SZ, NO_SERVER)], view)
                for folder in views.values():
                    sc.mkdir(sc.path(folder))
                exe = sc.install()
                self.assertEqual(self.run_through(sc, sc.start(exe)), 0)
                folder = expected[self.session.bits]
                logs = [f for f in sc.files() if f.endswith(LOG_NAME)]
                self.assertEqual(logs, [folder + '\\Log\\' + LOG_NAME] if folder else [])

    @smoke
    def test_log_folder_follows_local_path(self):
        # (registry value of LocalPath, folders made beforehand, log file expected or None, what it
        # starts with). {root} is the scenario's folder, the program's current folder.
        rows = [
            ('{root}\\Prog\\Client', [], '{root}\\Prog\\Log\\' + LOG_NAME, b''),
            ('{root}\\Prog\\Client\\', [], '{root}\\Prog\\Log\\' + LOG_NAME, b''),
            ('C:\\Client', [], 'C:\\Log\\' + LOG_NAME, b''),
            ('{root}\\Missing\\Client', [], None, b''),
            # Taken as stored, not expanded: a folder relative to the current one.
            ((REG_EXPAND_SZ, '%SystemDrive%\\Prog\\Client'), ['{root}\\%SystemDrive%\\Prog'],
             '{root}\\%SystemDrive%\\Prog\\Log\\' + LOG_NAME, b''),
            # Nothing after an embedded NUL is read.
            ((REG_SZ, b'{root}\\Prog\\Client\0{root}\\Other\\Client\0'), ['{root}\\Other'],
             '{root}\\Prog\\Log\\' + LOG_NAME, b''),
            # An existing log is appended to.
            ('{root}\\Prog\\Client', ['{root}\\Prog\\Log'], '{root}\\Prog\\Log\\' + LOG_NAME,
             b'earlier run\r\n'),
        ]
        for i, (value, folders, log_file, earlier) in enumerate(self.rows(rows)):
            with self.subTest(row=i, value=value):
                sc = self.scenario('log_folder_%d' % i)
                expand = lambda s: s.replace('{root}', sc.root) if isinstance(s, str) else \
                    s.replace(b'{root}', sc.root.encode())
                kind, data = value if isinstance(value, tuple) else (REG_SZ, value)
                sc.write_key([('ServerPath', REG_SZ, sc.path('Server')), ('LocalPath', kind, expand(data)),
                              ('Pallado_Connection', REG_SZ, NO_SERVER)])
                exe = sc.install()
                for f in folders:
                    sc.mkdir(expand(f))
                if log_file:
                    log_file = expand(log_file)
                    if log_file.startswith('C:\\Log'):
                        self.addCleanup(harness.shutil.rmtree, sc.unix('C:\\Log'), True)
                        harness.shutil.rmtree(sc.unix('C:\\Log'), True)
                    if earlier:
                        with open(sc.unix(log_file), 'wb') as f:
                            f.write(earlier)
                before = sc.files()
                program = sc.start(exe)
                self.assertEqual(self.run_through(sc, program), 0)
                until = harness.time.time()
                made = sorted(set(sc.files()) - set(before))
                if log_file is None:
                    self.assertEqual(made, [])
                    continue
                if log_file.startswith(sc.root) and not earlier:
                    rel = log_file[len(sc.root) + 1:]
                    self.assertEqual(made, sorted([rel.rsplit('\\', 1)[0], rel]))
                data = sc.read(log_file)
                self.assertTrue(data.startswith(earlier))
                self.assertLog(data[len(earlier):], RUN_LINES, program.started, until)


    def test_log_held_by_another_program_costs_the_lines_not_the_run(self):
        sc = self.scenario()
        log_file = self.write_installation(sc, b'earlier run\r\n')
        exe = sc.install()
        holder = harness.Holder(self.session, log_file, 'rw', 'none')
        try:
            self.assertEqual(self.run_through(sc, sc.start(exe)), 0)
        finally:
            self.assertEqual(holder.release(), 0)
        self.assertEqual(sc.read(log_file), b'earlier run\r\n')


class StopBox(SpineTestCase):

    @smoke
    def test_value_of_another_type_stops_the_run(self):
        # Each value is read in turn; the values before the bad one are valid.
        valid = lambda sc: [('ServerPath', REG_SZ, sc.path('Server')),
                            ('LocalPath', REG_SZ, sc.path('Prog\\Client')),
                            ('Pallado_Connection', REG_SZ, NO_SERVER)]
        rows = [('ServerPath', REG_DWORD, 5),
                ('LocalPath', REG_BINARY, b'C:\\x\0'),
                ('Pallado_Connection', REG_MULTI_SZ, b'srv\0\0')]
        for i, (name, kind, data) in enumerate(self.rows(rows)):
            with self.subTest(value=name):
                sc = self.scenario('stop_box_%d' % i)
                values = [(n, k, d) if n != name else (name, kind, data) for n, k, d in valid(sc)]
                sc.write_key(values)
                exe = sc.install()
                before = sc.files()
                program = sc.start(exe)
                box = self.wait_stop_box('Setup', REGISTRY_ERROR % name)
                shown = {w['class']: w for w in self.session.windows(exe='Setup.exe')}
                self.assertFalse(shown['TForm1']['visible'], 'main window on screen before the box was dismissed')
                app = shown['UpgradeApp']
                self.assertEqual((app['caption'], app['visible'], app['owner']), ('Setup', True, 0))
                self.assertEqual(shown['TForm1']['owner'], app['hwnd'])

                self.session.keys(box, 'Return')
                main = wait_main_window(self.session)
                self.assertEqual(main['caption'], MAIN_CAPTION)
                self.assertEqual(main['rect'], [214, 200, 214 + 286, 200 + 73])
                label = child(main, cls='Static')
                self.assertEqual((label['caption'], label['visible']), (LABEL, True))
                self.assertTrue(program.running(), 'program ended without the operator closing the window')
                self.assertEqual(sc.files(), before, 'files made after a settings failure')

                self.close_main_window(program, main)
                self.assertEqual(sc.files(), before)

    def left_open(self, sc):
        """Runs to the stop box of a settings failure and dismisses it; returns the program and the
        main window left open."""
        sc.write_key([('ServerPath', REG_DWORD, 1)])
        program = sc.start(sc.install())
        self.session.keys(self.wait_stop_box('Setup', REGISTRY_ERROR % 'ServerPath'), 'Return')
        return program, wait_main_window(self.session)

    @smoke
    def test_label_in_the_schemes_window_text_colour(self):
        # A dark high-contrast scheme: white window text on a black face.
        white, black = (255, 255, 255), (0, 0, 0)
        with self.session.system_colours(ButtonFace='0 0 0', WindowText='255 255 255'):
            program, main = self.left_open(self.scenario())
        label = child(main, cls='Static')
        harness.wait_until('the label painted white', 5, lambda: sum(
            1 for p in self.session.screen_pixels(label['rect']) if p == white) > 30)
        self.assertEqual(set(self.session.screen_pixels(label['rect'])), {white, black})
        self.close_main_window(program, main)

    @smoke
    def test_window_left_open_minimises_to_the_taskbar_entry(self):
        program, main = self.left_open(self.scenario())
        self.session.post(main['hwnd'], 'minimize')
        app = self.session.wait_window('the taskbar entry minimised', exe='Setup.exe', cls='UpgradeApp', iconic=True)
        main = self.session.wait_window('the main window hidden', exe='Setup.exe', cls='TForm1', visible=False)
        self.assertFalse(main['iconic'], 'the main window minimised on its own, beside the taskbar entry')

        self.session.post(app['hwnd'], 'restore')
        main = wait_main_window(self.session, 'the main window back')
        shown = {w['class']: w for w in self.session.windows(exe='Setup.exe')}
        self.assertEqual((shown['UpgradeApp']['iconic'], main['iconic']), (False, False))
        self.assertEqual(main['rect'], [214, 200, 214 + 286, 200 + 73])
        self.close_main_window(program, main)

    def test_application_title_from_file_name(self):
        rows = [('Setup.exe', 'Setup'), ('UPGRADE.EXE', 'Upgrade'), ('Upgrade 2.1.27.exe', 'Upgrade 2')]
        for i, (file_name, title) in enumerate(rows):
            with self.subTest(file_name=file_name):
                sc = self.scenario('title_%d' % i)
                sc.write_key([('ServerPath', REG_DWORD, 1)])
                program = sc.start(sc.install(file_name))
                box = self.wait_stop_box(title, REGISTRY_ERROR % 'ServerPath')
                app = self.session.wait_window('the application window', exe=file_name, cls='UpgradeApp')
                self.assertEqual(app['caption'], title)
                self.assertEqual(app['rect'][2:], app['rect'][:2], 'application window not of size 0x0')
                self.assertEqual(box['exe'], file_name)
                self.session.keys(box, 'Return')
                main = wait_main_window(self.session, exe=file_name)
                self.assertEqual(main['caption'], MAIN_CAPTION)
                self.session.post(main['hwnd'], 'close')
                self.assertEqual(program.wait(15), 0)


class SingleInstance(SpineTestCase):

    @smoke
    def test_second_copy_ends_at_once_while_first_shows_its_stop_box(self):
        sc = self.scenario()
        sc.write_key([('ServerPath', REG_DWORD, 5)])
        exe = sc.install()
        first = sc.start(exe)
        box = self.wait_stop_box('Setup', REGISTRY_ERROR % 'ServerPath')
        shown = sorted((w['hwnd'], w['visible']) for w in self.session.windows(exe='Setup.exe'))

        # A valid key and an existing log now: a second copy that ran would write to it.
        log_file = self.write_installation(sc, b'earlier run\r\n')
        before = sc.files()

        second = sc.start(exe)
        self.assertEqual(second.wait(10), 0)
        self.assertEqual(sorted((w['hwnd'], w['visible']) for w in self.session.windows(exe='Setup.exe')), shown)
        self.assertEqual(sc.read(log_file), b'earlier run\r\n')
        self.assertEqual(sc.files(), before)
        self.assertTrue(first.running())

        self.session.keys(box, 'Return')
        main = wait_main_window(self.session)
        self.close_main_window(first, main)

        # With the first copy gone, the next one runs.
        third = sc.start(exe)
        self.assertEqual(self.run_through(sc, third), 0)
        data = sc.read(log_file)
        self.assertTrue(data.startswith(b'earlier run\r\n'))
        self.assertLog(data[len(b'earlier run\r\n'):], RUN_LINES, third.started, harness.time.time())


    @smoke
    def test_copy_ends_at_once_while_another_accounts_copy_holds_the_guard(self):
        inst = Installation(self, world())
        inst.sc.mkdir(inst.sc.path('Log'))
        with open(inst.sc.unix(inst.log_path), 'wb') as f:
            f.write(b'earlier run\r\n')
        before = inst.sc.files()
        hold_guard_as_another_account(self)
        inst.start()
        self.assertEqual(inst.program.wait(10), 0)
        self.assertEqual(inst.logins(), [], 'the copy logged in')
        self.assertEqual(inst.log(), b'earlier run\r\n')
        self.assertEqual(inst.sc.files(), before)


class ShowCommand(SpineTestCase):

    @smoke
    def test_started_minimised_runs_only_once_restored(self):
        sc = self.scenario()
        self.write_installation(sc)
        exe = sc.install()
        before = sc.files()
        program = sc.start(exe, show=SW_SHOWMINNOACTIVE)
        app = self.session.wait_window('the minimised taskbar entry', cls='UpgradeApp', visible=True, iconic=True)
        self.assertEqual(app['caption'], 'Setup')

        # A normal run ends well within this; minimised, nothing may happen in it.
        def something_ran():
            if not program.running() or sc.files() != before:
                return True
            main = [w for w in self.session.windows(exe='Setup.exe') if w['class'] == 'TForm1']
            return main and (main[0]['visible'] or main[0]['caption'] != 'Upgrade')
        self.assertFalse(harness.observe(3, something_ran), 'the run started while minimised')

        self.session.post(app['hwnd'], 'restore')
        restored = harness.time.time()
        self.assertEqual(self.run_through(sc, program), 0)
        self.assertLog(sc.read(sc.path('Prog\\Log\\' + LOG_NAME)), RUN_LINES, restored, harness.time.time())


if __name__ == '__main__':
    unittest.main()
