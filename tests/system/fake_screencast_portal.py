#!/usr/bin/python3
"""A desktop's screen-cast portal as the senders see it on the session bus, for tests that run
on a private bus (dbus-run-session): it takes the portal's name, runs PROGRAM once it has it,
and exits with the program's status.

    fake_screencast_portal.py --log FILE --start-response N -- PROGRAM ARGS...

CreateSession and SelectSources are granted; Start is answered with N (1: the user cancelled
the dialog, 2: refused). Each call is written to FILE as one line ("SelectSources types=3
multiple=False cursor_mode=2", "Session.Close"), so that a test can check what was asked.
"""
import argparse
import os
import sys

from gi.repository import Gio, GLib

PORTAL = "org.freedesktop.portal.Desktop"
PORTAL_PATH = "/org/freedesktop/portal/desktop"
MONITOR_AND_WINDOW = 3
CURSOR_HIDDEN_EMBEDDED_METADATA = 7

SCREENCAST_XML = """
<node>
  <interface name="org.freedesktop.portal.ScreenCast">
    <method name="CreateSession">
      <arg type="a{sv}" direction="in"/><arg type="o" direction="out"/>
    </method>
    <method name="SelectSources">
      <arg type="o" direction="in"/><arg type="a{sv}" direction="in"/>
      <arg type="o" direction="out"/>
    </method>
    <method name="Start">
      <arg type="o" direction="in"/><arg type="s" direction="in"/>
      <arg type="a{sv}" direction="in"/><arg type="o" direction="out"/>
    </method>
    <property name="AvailableSourceTypes" type="u" access="read"/>
    <property name="AvailableCursorModes" type="u" access="read"/>
    <property name="version" type="u" access="read"/>
  </interface>
</node>"""
SESSION_XML = """
<node>
  <interface name="org.freedesktop.portal.Session">
    <method name="Close"/>
  </interface>
</node>"""


class Portal:
    def __init__(self, log, start_response):
        self.log = log
        self.start_response = start_response
        self.screencast = Gio.DBusNodeInfo.new_for_xml(SCREENCAST_XML).interfaces[0]
        self.session = Gio.DBusNodeInfo.new_for_xml(SESSION_XML).interfaces[0]
        self.sessions = {}

    def note(self, line):
        self.log.write(line + "\n")
        self.log.flush()

    def export(self, connection):
        connection.register_object(PORTAL_PATH, self.screencast, self.on_call, self.on_get)

    def on_get(self, connection, sender, path, interface, name):
        versions = {"AvailableSourceTypes": MONITOR_AND_WINDOW,
                    "AvailableCursorModes": CURSOR_HIDDEN_EMBEDDED_METADATA, "version": 4}
        return GLib.Variant("u", versions[name])

    # The handle of a request or session: the caller's unique name and its token.
    @staticmethod
    def handle(kind, sender, token):
        return f"{PORTAL_PATH}/{kind}/{sender[1:].replace('.', '_')}/{token}"

    def answer(self, connection, invocation, options, response, results):
        request = self.handle("request", invocation.get_sender(), options["handle_token"])
        invocation.return_value(GLib.Variant("(o)", (request,)))
        # After the reply, as the real portal answers once the user has.
        GLib.idle_add(lambda: connection.emit_signal(
            invocation.get_sender(), request, "org.freedesktop.portal.Request", "Response",
            GLib.Variant("(ua{sv})", (response, results))) and False)

    def on_call(self, connection, sender, path, interface, method, parameters, invocation):
        args = parameters.unpack()
        if method == "CreateSession":
            options = args[0]
            session = self.handle("session", sender, options["session_handle_token"])
            self.sessions[session] = connection.register_object(
                session, self.session, self.on_session_call, None)
            self.note("CreateSession")
            self.answer(connection, invocation, options, 0,
                        {"session_handle": GLib.Variant("s", session)})
        elif method == "SelectSources":
            session, options = args
            self.note(f"SelectSources types={options.get('types')} "
                      f"multiple={options.get('multiple')} "
                      f"cursor_mode={options.get('cursor_mode')}")
            self.answer(connection, invocation, options, 0, {})
        elif method == "Start":
            session, parent, options = args
            self.note(f"Start parent='{parent}'")
            self.answer(connection, invocation, options, self.start_response, {})

    def on_session_call(self, connection, sender, path, interface, method, parameters,
                        invocation):
        self.note("Session.Close")
        connection.unregister_object(self.sessions.pop(path))
        invocation.return_value(None)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--log", required=True)
    parser.add_argument("--start-response", type=int, default=1)
    parser.add_argument("program", nargs="+")
    args = parser.parse_args()
    loop = GLib.MainLoop()
    status = [1]
    portal = Portal(open(args.log, "w"), args.start_response)

    def on_exit(pid, wait_status):
        status[0] = os.waitstatus_to_exitcode(wait_status)
        loop.quit()

    def on_name(connection, name):
        pid, _, _, _ = GLib.spawn_async(
            args.program, flags=GLib.SpawnFlags.SEARCH_PATH | GLib.SpawnFlags.DO_NOT_REAP_CHILD)
        GLib.child_watch_add(GLib.PRIORITY_DEFAULT, pid, on_exit)

    def on_lost(connection, name):
        print(f"fake_screencast_portal: cannot own {name}", file=sys.stderr)
        loop.quit()

    Gio.bus_own_name(Gio.BusType.SESSION, PORTAL, Gio.BusNameOwnerFlags.NONE,
                     lambda connection, name: portal.export(connection), on_name, on_lost)
    loop.run()
    sys.exit(status[0])


if __name__ == "__main__":
    main()
