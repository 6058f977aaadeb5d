#!/usr/bin/python3
"""The schema upgrade of the whole program under Wine, against the SQL Server stand-in: the batch
on "ZANT", "ZANT_Backup" and "ZANT_model", each in a connection and transaction of its own, and
every way it can stop (open, batch, time-out, commit, rollback, a wrong typed pair). Asserted are
the log's exact bytes, the boxes on screen, the exact batch the server received and the
catalogs' schema in the stand-in's state afterwards."""

import json
import os
import time

from harness import TDS_LEVEL, child, smoke
from fixtures import (MAIN_CAPTION, ALL_SUCCEED, BANNER, BUILT_IN, CAPTION, CATALOGS, CLOSING, COMMITTED, RUN_SETUP, Installation,
                      RunTestCase, catalog_events, fail, journal_time, rollback, success, wait_box, wait_main_window,
                      world)

# The release's schema-change batch as the server must receive it: 15 lines, tabs for
# indentation, CR LF after every line.
BATCH = ''.join(line + '\r\n' for line in [
    "IF EXISTS (SELECT * FROM DBO.SYSCOLUMNS WHERE ([NAME] = 'LOCATION') AND ([PREC] < 140) AND "
    "([ID] = OBJECT_ID(N'[DBO].[PORT]')))",
    "BEGIN",
    "\tIF EXISTS (SELECT * FROM DBO.SYSINDEXES WHERE ([NAME] = 'IX_PORT_LOCATION') and "
    "([ID] = OBJECT_ID(N'[DBO].[PORT]')))",
    "\tBEGIN",
    "\t\tDROP INDEX [DBO].[PORT].IX_PORT_LOCATION",
    "\tEND",
    "",
    "\tALTER TABLE [DBO].[PORT]",
    "\tALTER COLUMN [LOCATION] [NVARCHAR] (140) COLLATE Latin1_General_CI_AS NOT NULL",
    "",
    "\tIF NOT EXISTS (SELECT * FROM DBO.SYSINDEXES WHERE ([NAME] = 'IX_PORT_LOCATION') and "
    "([ID] = OBJECT_ID(N'[DBO].[PORT]')))",
    "\tBEGIN",
    "\t\tCREATE INDEX IX_PORT_LOCATION ON [DBO].[PORT] (Location)",
    "\tEND",
    "END",
])
assert len(BATCH) == 627

NARROW = {'port_table': True, 'location_width': 100, 'ix_port_location': True}
WIDENED = {'port_table': True, 'location_width': 140, 'ix_port_location': True}


def schema(inst, catalog):
    c = inst.state()['catalogs'][catalog]
    return {k: c.get(k) for k in ('port_table', 'location_width', 'ix_port_location')}


class Upgrade(RunTestCase):

    @smoke
    def test_all_three_catalogs_succeed(self):
        inst = Installation(self, world())
        inst.run_to_end()
        inst.assert_log(ALL_SUCCEED)
        batches = inst.events('batch')
        self.assertEqual([e['catalog'] for e in batches], CATALOGS)
        for e in batches:
            self.assertEqual(e['hex'], BATCH.encode('utf-16-le').hex(), 'the batch, byte for byte')
            self.assertEqual((e['in_transaction'], e['outcome'], e['login']), (True, 'applied', BUILT_IN[0]))
        for c in CATALOGS:
            self.assertEqual(catalog_events(inst, c), COMMITTED, c)
            self.assertEqual(schema(inst, c), WIDENED, c)
        # The suite's TDS level reached the server, and with it the driver's way of beginning.
        self.assertEqual({e['tds_level'] for e in inst.events('login')}, {TDS_LEVEL})
        self.assertEqual({e['how'] for e in inst.events('begin')}, {'sql' if TDS_LEVEL == '7.1' else 'tm'})
        # One connection at a time: each catalog's connection ended before the next began.
        order = [(e['event'], e.get('catalog')) for e in inst.events() if e['event'] in ('login', 'disconnect')]
        self.assertEqual(order, [(ev, c) for c in ['Pallado'] + CATALOGS for ev in ('login', 'disconnect')])

        # Run again: the batch changes nothing, every catalog still succeeds, the log grows.
        first = inst.log()
        inst.run_to_end()
        self.assertTrue(inst.log().startswith(first))
        inst.assert_log(ALL_SUCCEED + ALL_SUCCEED)
        self.assertEqual([e['outcome'] for e in inst.events('batch')], ['applied'] * 3 + ['unchanged'] * 3)
        for c in CATALOGS:
            self.assertEqual(schema(inst, c), WIDENED, c)

    def test_catalog_without_port_and_one_already_at_140_succeed_unchanged(self):
        inst = Installation(self, world(ZANT={'port_table': False, 'location_width': None, 'ix_port_location': False},
                                        ZANT_Backup=WIDENED))
        inst.run_to_end()
        inst.assert_log(ALL_SUCCEED)
        self.assertEqual([(e['catalog'], e['outcome']) for e in inst.events('batch')],
                         [('ZANT', 'unchanged'), ('ZANT_Backup', 'unchanged'), ('ZANT_model', 'applied')])
        self.assertEqual(schema(inst, 'ZANT'), {'port_table': False, 'location_width': None, 'ix_port_location': False})
        self.assertEqual(schema(inst, 'ZANT_model'), WIDENED)

    @smoke
    def test_first_catalog_cannot_be_opened(self):
        inst = Installation(self, world(ZANT={'faults': ['unknown_catalog']}))
        inst.start()
        self.wait_error_box(inst)
        self.dismiss_error_box(inst, 'Escape')
        inst.assert_log([BANNER, RUN_SETUP, fail('ZANT')] + CLOSING)
        self.assertEqual([(l[1], l[3]) for l in inst.logins()], [('Pallado', True), ('ZANT', False)])

    @smoke
    def test_batch_fails_on_the_second_catalog(self):
        inst = Installation(self, world(ZANT_Backup={'faults': ['batch_error']}))
        inst.start()
        self.wait_error_box(inst)
        # The box is up while the upgrade connection is still open, its transaction rolled back.
        self.assertEqual(catalog_events(inst, 'ZANT_Backup'),
                         ['connect', 'login', 'begin', 'batch error', 'rollback ok'])
        self.dismiss_error_box(inst)
        self.assertEqual(catalog_events(inst, 'ZANT_Backup')[-1], 'disconnect')
        inst.assert_log([BANNER, RUN_SETUP, success('ZANT'), fail('ZANT_Backup'), rollback('ZANT_Backup')] + CLOSING)
        self.assertEqual(schema(inst, 'ZANT'), WIDENED)
        self.assertEqual(schema(inst, 'ZANT_Backup'), NARROW)
        self.assertEqual(catalog_events(inst, 'ZANT_model'), [], 'not touched')
        self.assertEqual(schema(inst, 'ZANT_model'), NARROW)

    def test_batch_that_hangs_is_cancelled_at_30_seconds(self):
        inst = Installation(self, world(ZANT={'faults': ['batch_hang']}))
        inst.start()
        self.wait_error_box(inst)
        batch, attention = inst.events('batch')[0], inst.events('attention')[0]
        waited = journal_time(attention) - journal_time(batch)
        print('batch cancelled %.2f s after it reached the server' % waited)
        self.assertGreaterEqual(waited, 29.5)
        self.assertLess(waited, 33.0)
        self.assertEqual(catalog_events(inst, 'ZANT'),
                         ['connect', 'login', 'begin', 'batch hang', 'attention', 'rollback ok'])
        self.dismiss_error_box(inst)
        inst.assert_log([BANNER, RUN_SETUP, fail('ZANT'), rollback('ZANT')] + CLOSING)
        self.assertEqual(schema(inst, 'ZANT'), NARROW)

    @smoke
    def test_deadlock_victim_on_the_second_catalog_is_an_ordinary_failure(self):
        # The server rolls the transaction back itself; the program's rollback finds none and
        # has nothing left to undo.
        inst = Installation(self, world(ZANT_Backup={'faults': ['deadlock_victim']}))
        inst.start()
        self.wait_error_box(inst)
        self.assertEqual(catalog_events(inst, 'ZANT_Backup'),
                         ['connect', 'login', 'begin', 'batch deadlock_victim', 'rollback by the server',
                          'rollback no_transaction'])
        self.dismiss_error_box(inst)
        inst.assert_log([BANNER, RUN_SETUP, success('ZANT'), fail('ZANT_Backup'), rollback('ZANT_Backup')] + CLOSING)
        self.assertEqual(schema(inst, 'ZANT'), WIDENED)
        self.assertEqual(schema(inst, 'ZANT_Backup'), NARROW)
        self.assertEqual(catalog_events(inst, 'ZANT_model'), [], 'not touched')
        self.assertEqual(schema(inst, 'ZANT_model'), NARROW)

    def stop_box_after_a_lost_commit(self, fault):
        """ZANT_Backup's connection is lost at its commit: the rollback then fails, the stop box
        comes up, the main window is left open. A rerun, the server back, finishes the catalogs."""
        inst = Installation(self, world(ZANT_Backup={'faults': [fault]}))
        inst.start()
        box = wait_box(self.session, 'the stop box', 'Setup')
        print('stop box: %r' % child(box, id=65535)['caption'])
        self.assertTrue(child(box, id=65535)['caption'].startswith('RollbackTrans failed: '))
        self.assertFalse([w for w in self.session.windows(exe='Setup.exe') if w['caption'] == 'Error'],
                         'no error box')
        self.session.post(box['hwnd'], 'close')
        main = wait_main_window(self.session, caption=MAIN_CAPTION)
        first = [BANNER, RUN_SETUP, success('ZANT'), fail('ZANT_Backup')]
        inst.assert_log(first)
        self.session.post(main['hwnd'], 'close')
        self.assertEqual(inst.program.wait(30), 0)
        self.assertEqual(catalog_events(inst, 'ZANT_model'), [], 'not touched')
        events, changed = catalog_events(inst, 'ZANT_Backup'), schema(inst, 'ZANT_Backup')

        state = inst.state()
        state['catalogs']['ZANT_Backup']['faults'] = []
        with open(inst.standin.state_path + '.new', 'w') as f:
            json.dump(state, f)
        os.replace(inst.standin.state_path + '.new', inst.standin.state_path)
        inst.run_to_end()
        inst.assert_log(first + ALL_SUCCEED)
        for c in CATALOGS:
            self.assertEqual(schema(inst, c), WIDENED, c)
        return events, changed, [e['outcome'] for e in inst.events('batch')][2:]

    @smoke
    def test_connection_lost_at_the_commit_before_it_is_applied(self):
        events, changed, rerun = self.stop_box_after_a_lost_commit('commit_lost')
        self.assertEqual(events, ['connect', 'login', 'begin', 'batch applied', 'commit lost',
                                  'rollback at disconnect, changes discarded', 'disconnect'])
        self.assertEqual(changed, NARROW)
        self.assertEqual(rerun, ['unchanged', 'applied', 'applied'])

    @smoke
    def test_connection_lost_at_the_commit_after_it_is_applied(self):
        events, changed, rerun = self.stop_box_after_a_lost_commit('commit_lost_after')
        self.assertEqual(events, ['connect', 'login', 'begin', 'batch applied', 'commit lost_after', 'disconnect'])
        self.assertEqual(changed, WIDENED)
        self.assertEqual(rerun, ['unchanged', 'unchanged', 'applied'])

    def undone_after_a_statement_error(self, change, outcome, statements):
        """ZANT's batch fails after some of its statements ran: the failure and rollback lines,
        the error box, and the rollback undoes what ran (the index is back, never rebuilt)."""
        inst = Installation(self, world(ZANT=change))
        inst.start()
        self.wait_error_box(inst)
        self.assertEqual(catalog_events(inst, 'ZANT')[2:4], ['begin', 'batch ' + outcome])
        self.assertEqual(catalog_events(inst, 'ZANT')[-1], 'rollback ok')
        self.assertEqual(inst.events('batch')[0].get('statements'), statements)
        self.assertEqual(inst.events('rollback')[0]['discarded_changes'], bool(statements))
        self.dismiss_error_box(inst)
        inst.assert_log([BANNER, RUN_SETUP, fail('ZANT'), rollback('ZANT')] + CLOSING)
        self.assertEqual(schema(inst, 'ZANT'), NARROW)
        self.assertEqual(inst.state()['catalogs']['ZANT'].get('index_builds', 0), 0, 'the index never rebuilt')
        self.assertEqual(catalog_events(inst, 'ZANT_Backup'), [], 'not touched')
        return inst

    @smoke
    def test_null_rows_fail_the_alter_and_the_batch_goes_on(self):
        self.undone_after_a_statement_error({'location_nulls': True}, 'error',
                                            ['drop_index', 'alter_column 515 3621', 'create_index'])

    def test_another_index_on_the_column_fails_the_alter(self):
        self.undone_after_a_statement_error({'other_location_index': 'IX_PORT_LOCATION_CITY'}, 'error',
                                            ['drop_index', 'alter_column 5074 4922', 'create_index'])

    def test_lock_wait_at_the_alter_is_cancelled_after_the_index_was_dropped(self):
        inst = self.undone_after_a_statement_error({'faults': ['lock_wait']}, 'lock_wait', ['drop_index'])
        self.assertEqual(catalog_events(inst, 'ZANT')[4:6], ['attention', 'rollback ok'])

    @smoke
    def test_case_sensitive_catalog_fails_every_run_at_compile(self):
        inst = Installation(self, world(ZANT={'collation': 'Latin1_General_CS_AS'}))
        for run in (1, 2):
            inst.start()
            self.wait_error_box(inst)
            self.dismiss_error_box(inst)
        inst.assert_log(2 * ([BANNER, RUN_SETUP, fail('ZANT'), rollback('ZANT')] + CLOSING))
        self.assertEqual([(e['error_number'], e['compile_error']) for e in inst.events('batch')], [(208, True)] * 2)
        self.assertEqual([e['discarded_changes'] for e in inst.events('rollback') if e.get('cause') != 'disconnect'],
                         [False, False], 'the rollback finds nothing to undo')
        self.assertEqual(schema(inst, 'ZANT'), NARROW)

    def test_connection_lost_at_the_rollback_stops_the_run_with_the_stop_box(self):
        inst = Installation(self, world(ZANT={'faults': ['batch_error', 'rollback_fail']}))
        inst.start()
        box = wait_box(self.session, 'the stop box', 'Setup')
        self.assertIn('RollbackTrans failed: ', child(box, id=65535)['caption'])
        self.assertIn('Unexpected EOF from the server', child(box, id=65535)['caption'])
        self.assertFalse([w for w in self.session.windows(exe='Setup.exe') if w['caption'] == 'Error'],
                         'no error box')
        # The upgrade connection was closed as the failure left the routine.
        self.assertEqual(catalog_events(inst, 'ZANT'),
                         ['connect', 'login', 'begin', 'batch error', 'rollback dropped', 'disconnect'])
        self.session.post(box['hwnd'], 'close')  # the title 'Setup' is also the taskbar entry's
        main = wait_main_window(self.session, caption=MAIN_CAPTION)
        self.assertTrue(inst.program.running())
        inst.assert_log([BANNER, RUN_SETUP, fail('ZANT')])
        self.session.post(main['hwnd'], 'close')
        self.assertEqual(inst.program.wait(30), 0)
        self.assertEqual(catalog_events(inst, 'ZANT_Backup'), [])

    def test_wrong_typed_pair_fails_at_the_first_catalog_without_rollback(self):
        inst = Installation(self, world(logins={'sa': 'right'}))
        inst.start()
        inst.wait_dialog()
        inst.type_pair('sa', 'wrong')
        self.session.keys(CAPTION, 'Return')
        self.wait_error_box(inst)
        self.dismiss_error_box(inst)
        inst.assert_log([BANNER, RUN_SETUP, fail('ZANT')] + CLOSING)
        self.assertEqual(inst.logins(), [(BUILT_IN[0], 'Pallado', BUILT_IN[1], False), ('sa', 'ZANT', 'wrong', False)])
        self.assertEqual(inst.events('rollback'), [])


if __name__ == '__main__':
    import sys
    import harness
    sys.exit(harness.run_modules([os.path.splitext(os.path.basename(__file__))[0]]))
