#!/usr/bin/env python3
"""A simulated BlueZ on a private system bus, for the Bluetooth LE transport's integration test and the soak's device.

Starts a D-Bus daemon of its own, runs python3-dbusmock's bluez5 template on it and then reads commands, one a
line, from standard input, answering each with one line on standard output:

  adapter HCI                    adds the adapter HCI (hci0, hci1, ...), powered on   -> "ok <adapter path>"
  remove-adapter HCI             removes it with its devices                          -> "ok"
  power HCI on|off               switches its radio on or off                         -> "ok"
  device HCI NAME ADDRESS MTU    adds a device advertising NAME that offers the Nordic UART service with its write
                                 and notify characteristics, at an ATT MTU of MTU     -> "ok <device> <rx> <tx>"
  written RX                     what the host wrote to RX so far, in hex, and the
                                 write type of each write                             -> "ok <hex> <type,type,...>"
  take RX                        what the host wrote to RX since the last take (or
                                 ever), in hex; a long run keeps no more than that    -> "ok <hex>"
  notify TX HEX                  the device notifies the bytes HEX on TX              -> "ok", or "error ..." while
                                                                                         nobody subscribed
  drop DEVICE                    the device ends the connection from its side         -> "ok"

The first line it prints is "bus <address>"; point DBUS_SYSTEM_BUS_ADDRESS at it. A connect marks the device
connected and then its services resolved, as BlueZ does. End of input stops the mock and the bus. Exits with 77,
after a line "skip <reason>", when python3-dbusmock or dbus-daemon is not there.
"""

import os
import shutil
import signal
import subprocess
import sys
import tempfile

try:
    import dbus
    import dbusmock
except ImportError as error:
    print(f"skip python3-dbusmock is not installed ({error})", flush=True)
    sys.exit(77)

if shutil.which("dbus-daemon") is None:
    print("skip dbus-daemon is not installed", flush=True)
    sys.exit(77)

NUS_SERVICE = "6e400001-b5a3-f393-e0a9-e50e24dcca9e"
NUS_RX = "6e400002-b5a3-f393-e0a9-e50e24dcca9e"
NUS_TX = "6e400003-b5a3-f393-e0a9-e50e24dcca9e"
CCCD = "00002902-0000-1000-8000-00805f9b34fb"

DEVICE = "org.bluez.Device1"
SERVICE = "org.bluez.GattService1"
CHARACTERISTIC = "org.bluez.GattCharacteristic1"
DESCRIPTOR = "org.bluez.GattDescriptor1"
MOCK = "org.freedesktop.DBus.Mock"
TEST = "org.murmeli.BleTest"

CONNECT = f"""
if self.props['{DEVICE}']['Connected']:
    raise dbus.exceptions.DBusException('Already Connected', name='org.bluez.Error.AlreadyConnected')
self.UpdateProperties('{DEVICE}', {{'Connected': dbus.Boolean(True)}})
self.UpdateProperties('{DEVICE}', {{'ServicesResolved': dbus.Boolean(True)}})
"""

DISCONNECT = f"""
if not self.props['{DEVICE}']['Connected']:
    raise dbus.exceptions.DBusException('Not Connected', name='org.bluez.Error.NotConnected')
for path in list(objects):
    if path.startswith(self.path + '/') and '{CHARACTERISTIC}' in objects[path].props:
        objects[path].props['{CHARACTERISTIC}']['Notifying'] = dbus.Boolean(False)
self.UpdateProperties('{DEVICE}', {{'ServicesResolved': dbus.Boolean(False)}})
self.UpdateProperties('{DEVICE}', {{'Connected': dbus.Boolean(False)}})
"""

# A write without response longer than the ATT payload is refused, as BlueZ refuses it.
WRITE_VALUE = f"""
kind = str(args[1].get('type', 'request'))
if kind == 'command' and len(args[0]) > int(self.props['{CHARACTERISTIC}']['MTU']) - 3:
    raise dbus.exceptions.DBusException('Invalid Length', name='org.bluez.Error.InvalidValueLength')
self.written = getattr(self, 'written', b'') + bytes(args[0])
self.write_types = getattr(self, 'write_types', []) + [kind]
"""

NOTIFY = f"""
if not self.props['{CHARACTERISTIC}']['Notifying']:
    raise dbus.exceptions.DBusException('Not notifying', name='org.bluez.Error.NotPermitted')
self.UpdateProperties('{CHARACTERISTIC}', {{'Value': dbus.Array([dbus.Byte(b) for b in args[0]], signature='y')}})
"""


def set_notifying(on):
    return f"self.UpdateProperties('{CHARACTERISTIC}', {{'Notifying': dbus.Boolean({on})}})"


class Mock:
    def __init__(self):
        self.bus_pid = None
        self.server = None

    def start(self):
        # The bus listens in the mock's own folder: dbusmock's own configuration puts its socket in /tmp, beside the
        # user's, where a mock that is killed leaves it.
        folder = tempfile.gettempdir()
        config = os.path.join(folder, "system-bus.conf")
        with open(config, "w") as file:
            file.write(
                f"<busconfig><type>system</type><keep_umask/><listen>unix:dir={folder}</listen>"
                f"<servicedir>{dbusmock.DBusTestCase.get_services_dir(True)}</servicedir>"
                "<policy context='default'><allow send_destination='*' eavesdrop='true'/><allow eavesdrop='true'/>"
                "<allow own='*'/></policy></busconfig>"
            )
        self.bus_pid, address = dbusmock.DBusTestCase.start_dbus(conf=config)
        os.environ["DBUS_SYSTEM_BUS_ADDRESS"] = address
        self.server, _ = dbusmock.DBusTestCase.spawn_server_template(
            "bluez5", {}, stdout=subprocess.DEVNULL, system_bus=True)
        self.bus = dbus.bus.BusConnection(os.environ["DBUS_SYSTEM_BUS_ADDRESS"])
        self.bluez = dbus.Interface(self.bus.get_object("org.bluez", "/"), "org.bluez.Mock")
        print(f"bus {os.environ['DBUS_SYSTEM_BUS_ADDRESS']}", flush=True)

    def mock(self, path):
        return dbus.Interface(self.bus.get_object("org.bluez", path), MOCK)

    def add_device(self, adapter, name, address, mtu):
        device_path = self.bluez.AddDevice(adapter, address, name)
        device = self.mock(device_path)
        device.UpdateProperties(DEVICE, {"UUIDs": dbus.Array([NUS_SERVICE], signature="s")})
        device.AddMethod(DEVICE, "Connect", "", "", CONNECT)
        device.AddMethod(DEVICE, "Disconnect", "", "", DISCONNECT)

        service = device_path + "/service0010"
        rx = service + "/char0011"
        tx = service + "/char0013"
        root = self.mock("/")
        root.AddObject(service, SERVICE, {
            "UUID": NUS_SERVICE,
            "Primary": dbus.Boolean(True),
            "Device": dbus.ObjectPath(device_path),
            "Includes": dbus.Array([], signature="o"),
        }, [])
        for path, uuid, flags in ((rx, NUS_RX, ["write", "write-without-response"]), (tx, NUS_TX, ["notify"])):
            root.AddObject(path, CHARACTERISTIC, {
                "UUID": uuid,
                "Service": dbus.ObjectPath(service),
                "Value": dbus.ByteArray(b""),
                "Notifying": dbus.Boolean(False),
                "Flags": dbus.Array(flags, signature="s"),
                "MTU": dbus.UInt16(mtu),
            }, [
                ("ReadValue", "a{sv}", "ay", "ret = dbus.ByteArray(b'')"),
                ("WriteValue", "aya{sv}", "", WRITE_VALUE),
                ("StartNotify", "", "", set_notifying(True)),
                ("StopNotify", "", "", set_notifying(False)),
            ])
        self.mock(rx).AddMethods(TEST, [
            ("Written", "", "ay", "ret = dbus.ByteArray(getattr(self, 'written', b''))"),
            ("WriteTypes", "", "as", "ret = dbus.Array(getattr(self, 'write_types', []), signature='s')"),
            ("Take", "", "ay", "ret = dbus.ByteArray(getattr(self, 'written', b''))\nself.written = b''\n"
                               "self.write_types = []"),
        ])
        self.mock(tx).AddMethods(TEST, [("Notify", "ay", "", NOTIFY)])
        root.AddObject(tx + "/desc0015", DESCRIPTOR, {
            "UUID": CCCD,
            "Characteristic": dbus.ObjectPath(tx),
            "Value": dbus.ByteArray(b""),
            "Flags": dbus.Array(["read", "write"], signature="s"),
        }, [
            ("ReadValue", "a{sv}", "ay", "ret = dbus.ByteArray(b'\\x00\\x00')"),
            ("WriteValue", "aya{sv}", "", ""),
        ])
        return f"{device_path} {rx} {tx}"

    def test_interface(self, path):
        return dbus.Interface(self.bus.get_object("org.bluez", path), TEST)

    def handle(self, words):
        command, arguments = words[0], words[1:]
        if command == "adapter" and len(arguments) == 1:
            return self.bluez.AddAdapter(arguments[0], "murmeli-test")
        if command == "remove-adapter" and len(arguments) == 1:
            self.bluez.RemoveAdapterWithDevices(arguments[0])
            return ""
        if command == "power" and len(arguments) == 2 and arguments[1] in ("on", "off"):
            self.mock("/org/bluez/" + arguments[0]).UpdateProperties(
                "org.bluez.Adapter1", {"Powered": dbus.Boolean(arguments[1] == "on")})
            return ""
        if command == "device" and len(arguments) == 4:
            return self.add_device(arguments[0], arguments[1], arguments[2], int(arguments[3]))
        if command == "written" and len(arguments) == 1:
            rx = self.test_interface(arguments[0])
            return f"{bytes(rx.Written()).hex() or '-'} {','.join(rx.WriteTypes()) or '-'}"
        if command == "take" and len(arguments) == 1:
            return bytes(self.test_interface(arguments[0]).Take()).hex() or "-"
        if command == "notify" and len(arguments) == 2:
            self.test_interface(arguments[0]).Notify(dbus.ByteArray(bytes.fromhex(arguments[1])))
            return ""
        if command == "drop" and len(arguments) == 1:
            dbus.Interface(self.bus.get_object("org.bluez", arguments[0]), DEVICE).Disconnect()
            return ""
        raise ValueError("unknown command " + " ".join(words))

    def stop(self):
        if self.server is not None:
            self.server.terminate()
            self.server.wait()
            self.server = None
        if self.bus_pid is not None:
            dbusmock.DBusTestCase.stop_dbus(self.bus_pid)
            self.bus_pid = None


def main():
    mock = Mock()
    # A test that dies closes our input; a kill ends the bus with us. A second kill while the bus stops is no reason
    # to cut that short, which would leave the bus's folder behind.
    def end(*_):
        signal.signal(signal.SIGTERM, signal.SIG_IGN)
        sys.exit(0)

    signal.signal(signal.SIGTERM, end)
    # dbusmock keeps the bus's configuration in a folder of the temporary folder and never removes it; it goes in ours.
    tempfile.tempdir = tempfile.mkdtemp(prefix="bluez_mock-")
    try:
        mock.start()
        for line in sys.stdin:
            words = line.split()
            if not words:
                continue
            try:
                print(f"ok {mock.handle(words)}".rstrip(), flush=True)
            except (dbus.exceptions.DBusException, ValueError) as error:
                print(f"error {error}", flush=True)
    finally:
        mock.stop()
        shutil.rmtree(tempfile.tempdir, ignore_errors=True)


if __name__ == "__main__":
    main()
