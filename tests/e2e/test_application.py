"""End-to-end: the program as a Windows application. A second start brings the
hidden first window forward; the tray icon's double click shows it and Close
hides it; exit, Exit from the tray menu and the link window closed from
outside during a recording each leave the recording complete."""

import os
import sys
import time

# The support module is imported: no bytecode beside the sources.
sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from e2e_support import RecorderTest, main, rd, scenario  # noqa: E402


class Application(RecorderTest):
    def test_second_start_brings_the_hidden_first_window_forward(self):
        self.start({"RecordFormat": 16}, args=["hide"])
        time.sleep(3)  # the start-up period, in which a hidden start stays hidden, is 2 s
        self.assertEqual(self.folder.recorder_state(), rd.RECORDER_HIDDEN)

        def second_start_shows_the_first():
            # On a slow machine the first one's start-up period may not be over
            # yet; a user would simply start it again.
            second = self.folder.start_recorder()
            second.wait(timeout=60)
            self.assertIsNone(self.folder.recorder.poll(), "the first instance ended")
            return self.folder.recorder_state() == rd.RECORDER_VISIBLE
        rd.wait_until(second_start_shows_the_first, 60, "the first window shown", interval=1)

    def test_tray_double_click_shows_the_hidden_window_and_close_hides_it(self):
        self.start({"RecordFormat": 16}, args=["hide"])
        time.sleep(3)  # past the start-up period
        self.assertEqual(self.folder.recorder_state(), rd.RECORDER_HIDDEN)
        for step, state in (("post-recorder %d %d %d" % (rd.WM_TRAY_NOTIFY, rd.TRAY_ICON_ID, rd.WM_LBUTTONDBLCLK),
                             rd.RECORDER_VISIBLE),
                            ("post-recorder 16", rd.RECORDER_HIDDEN),  # WM_CLOSE: hidden, not ended
                            ("post-recorder %d %d %d" % (rd.WM_TRAY_NOTIFY, 99, rd.WM_LBUTTONDBLCLK),
                             rd.RECORDER_HIDDEN),  # another icon's click
                            ("post-recorder %d %d %d" % (rd.WM_TRAY_NOTIFY, rd.TRAY_ICON_ID, rd.WM_LBUTTONDBLCLK),
                             rd.RECORDER_VISIBLE)):
            self.folder.run_scenario("attach none\n%s\nsleep 300\n" % step, name="tray", timeout=60,
                                     folder=os.path.join(self.folder.sim, "tray"))
            rd.wait_until(lambda: self.folder.recorder_state() == state, 30, "the window's state after " + step)
        self.assertIsNone(self.folder.recorder.poll())

    def end_mid_call(self, step, call, partner, seeds):
        """Ends the recorder by `step` during a recorded call: the process must
        end with the call's recording complete and no stream file left."""
        self.start({"AutoRecord": 1, "RecordFormat": 16})
        self.call(scenario("call %d INPROGRESS" % call, "wait audio %d out 2500" % call, step, "sleep 500",
                           calls=[(call, partner, "mls %d 8000" % seeds[0], "mls %d 8000" % seeds[1])]))
        self.folder.recorder.wait(timeout=120)
        names = self.folder.record_files()
        self.assertEqual([n for n in names if n.endswith(".sky")], [], names)
        partners, (_, _, _, data) = self.wave()
        self.assertEqual(partners, partner)
        self.assert_mono_mix(data, call, 16000 * 2)

    def test_exit_during_a_recording_leaves_complete_files(self):
        self.end_mid_call("post-recorder %d" % rd.WM_EXIT_REQUEST, 6, "jack", (41, 42))

    def test_exit_from_the_tray_menu_during_a_recording_leaves_complete_files(self):
        self.end_mid_call("press %d" % rd.ID_TRAY_EXIT, 8, "lee", (45, 46))

    def test_link_window_closed_from_outside_still_finishes_the_recording(self):
        # WM_CLOSE to the window the recorder attached with ends its loop
        # without the exit command; the running recording is finished anyway.
        self.end_mid_call("post-link 16", 7, "kim", (43, 44))


if __name__ == "__main__":
    main()
