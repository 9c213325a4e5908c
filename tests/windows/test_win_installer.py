"""KelvoSetup.exe under Wine: a silent install puts kelvo.exe, its user guide,
the uninstaller, a Start-menu shortcut and the uninstall entry in place; the
installed kelvo.exe starts and ends when asked to close; the silent uninstall
takes every one of them away again."""

import os
import unittest

import kelvo_desktop as kd
import wine

UNINSTALL_KEY = r"HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Kelvo"

desktop = kd.ModuleDesktop()
setUpModule, tearDownModule = desktop.open, desktop.close


def installed():
    """What of the installation is there: the files and the shortcut, by name."""
    folder = wine.drive_c("Program Files", "Kelvo")
    files = sorted(os.listdir(folder)) if os.path.isdir(folder) else []
    menu = wine.drive_c("ProgramData", "Microsoft", "Windows", "Start Menu", "Programs", "Kelvo.lnk")
    return files + (["Start menu: Kelvo.lnk"] if os.path.isfile(menu) else [])


def uninstall_entry():
    """The uninstall entry's values as reg.exe lists them, or None."""
    result = wine.run(["reg", "query", UNINSTALL_KEY], check=False)
    return result.stdout if result.returncode == 0 else None


class Installer(unittest.TestCase):
    def test_installs_silently_runs_and_uninstalls_without_a_trace(self):
        self.assertEqual(installed(), [])
        self.assertEqual(wine.run([wine.program("KelvoSetup.exe", build="qt"), "/S"],
                                  timeout=120).returncode, 0)
        self.assertEqual(installed(), ["guide", "kelvo.exe", "uninstall.exe",
                                       "Start menu: Kelvo.lnk"])
        # The guide as the build made it, which "Visit WebSite" opens beside the program.
        self.assertEqual(sorted(os.listdir(wine.drive_c("Program Files", "Kelvo", "guide"))),
                         sorted(os.listdir(os.path.join(os.environ["KELVO_WIN_BUILD"], "guide"))))
        entry = uninstall_entry()
        self.assertIsNotNone(entry, "no uninstall entry")
        self.assertRegex(entry, r"DisplayName\s+REG_SZ\s+Kelvo")
        self.assertRegex(entry, r"UninstallString\s+REG_SZ\s+\"C:\\Program Files\\Kelvo\\uninstall.exe\"")

        # The installed program, ended as the taskbar or taskkill end it (WM_CLOSE).
        kelvo = kd.Kelvo(desktop, env=wine.environment(), timeout=90,
                         command=["wine", r"C:\Program Files\Kelvo\kelvo.exe"])
        wine.run(["taskkill", "/im", "kelvo.exe"])
        self.assertEqual(kelvo.wait(30), 0)

        wine.run([r"C:\Program Files\Kelvo\uninstall.exe", "/S"], timeout=120)
        # The uninstaller goes on from a copy of itself after the first one returns.
        kd.wait_until(lambda: installed() == [] and uninstall_entry() is None, timeout=60,
                      what="the uninstaller to take everything away")
        self.assertFalse(os.path.exists(wine.drive_c("Program Files", "Kelvo")))


if __name__ == "__main__":
    unittest.main()
