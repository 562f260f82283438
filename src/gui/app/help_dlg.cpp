#include "gui/app/help_dlg.h"

#include <QDialogButtonBox>
#include <QTextBrowser>
#include <QVBoxLayout>

namespace tessel {

QString CHelpDlg::HelpHtml() {
  return QStringLiteral(R"(
<h2>Tessel Arc USB</h2>
<p>This tool reads and changes the settings of an RC-car speed controller (ESC) through a USB
programming adapter. The line under the pages always says what the tool is doing and what it
last did.</p>

<h3>1. Reading the ESC</h3>
<p>Plug the programming adapter into the computer, connect the ESC to it and power the ESC.
The tool finds the adapter (the <b>USB</b> lamp turns blue), then the ESC (the <b>ESC</b> lamp
turns green) and reads all its settings at once; a progress window shows the read. To read the
ESC again later, for example after a send, choose <b>Device › Read from ESC</b> (F5).</p>

<h3>2. Pages</h3>
<p>The buttons along the top open the pages: <b>Info</b> (device and software version, firmware
update), <b>General</b>, <b>Throttle</b>, <b>Brake</b>, <b>Boost</b>, <b>Turbo</b> and
<b>Data</b> (what the ESC logged on its last run). They stay grey while no ESC is connected.
Click a value to open its list and click the option you want; the help box on the right
explains the setting. Escape closes a list without a choice.</p>
<p>Changes stay in the tool until you press <b>Apply</b>, which sends every setting to the ESC.
<b>Default</b> sends the factory settings; <b>Device › Reset Default</b> does the same from the
menu. The status line says <i>Sent OK</i> when the ESC has them.</p>

<h3>3. Profile presets</h3>
<p><b>PROMODE</b> on the GENERAL page holds ten profiles (Modify, Zero Timing, Practice, Sport,
Stock classes, Buggy&amp;SCT, Crawler, Drift). Picking one changes the related settings and
sends them to the ESC straight away.</p>

<h3>4. Custom curves</h3>
<p>Choose <b>Custom</b> for THCURVE (THROTTLE page), BRAKE CURVE (BRAKE page) or SLOPE (BOOST
page) and the curve editor opens in its place:</p>
<ul>
<li><b>Click</b> on the chart to add a point (up to 40).</li>
<li><b>Drag</b> a point to move it; the end points stay where they are.</li>
<li><b>Right click</b> a point to delete it.</li>
<li>With the keyboard: the <b>arrow keys</b> choose a point (it gets a white frame),
<b>Shift</b> with an arrow moves it, <b>Insert</b> or <b>+</b> adds one after it and
<b>Delete</b> removes it.</li>
<li><b>RESET</b> goes back to the default curve, <b>OK</b> (Enter) keeps your curve and
<b>CANCEL</b> (Escape) gives back the curve as it was when the editor opened.</li>
</ul>
<p>The new curve reaches the ESC with the next Apply.</p>

<h3>5. Settings files</h3>
<p><b>File › Export Esc Data</b> (Ctrl+S) saves the settings, curves included, to a
<tt>.DATA</tt> file; <b>File › Inport ESC Data</b> (Ctrl+O) loads one into the pages (then
Apply sends it). A damaged file is refused with the reason and changes nothing. The file
dialogs open in the folder you used last.</p>

<h3>6. Firmware</h3>
<p>On the <b>Info</b> page, <b>UpData</b> installs new firmware from a <tt>.xup</tt> file (a V1
ESC has an <b>Update Firmware</b> button in its window). The file is checked first; a damaged
file is refused before anything is sent. If the file is older than the ESC's firmware the tool
asks <i>version old</i>, where Enter means Cancel. Do not unplug anything while the update
runs.</p>

<h3>7. Older V1-series ESCs</h3>
<p>A V1-series ESC gets one window with all its settings instead of the pages, with
<b>Read Settings</b>, <b>Send Settings</b> and <b>Update Firmware</b>.</p>

<h3>8. Checking and taking back a send</h3>
<p><b>Device › Verify after sending</b> (a tick in the menu) reads the ESC again after every
send and compares what it holds with what was sent. The status line then says <i>Verified</i>;
if a setting differs, it says so and a box lists each one.</p>
<p>Every read and every send is kept in the settings history on this computer.
<b>Device › Undo Last Send</b> sends back the settings the ESC held before the last send, after
showing what it will change; it asks first and can be cancelled.</p>
<p><b>File › Compare with File…</b> shows, side by side, each setting and curve where the pages
differ from a settings file; nothing is sent.</p>

<h3>9. The HID adapter and the LCD program box</h3>
<p>The tool also works through the USB HID programming adapter. It is found the same way: plug it
in, connect and power the ESC, and the pages fill as above. The same adapter reaches the hand-held
LCD program box: choose <b>Device › LCD Program Box</b> to talk to the box (the <b>Info</b>
page then shows its versions and <b>UpData</b> updates its firmware) and <b>Device › ESC Speed
Controller</b> to go back to the ESC. The box keeps silent until you switch to it, so while
nothing answers the page area names both.</p>

<h3>10. DemoMode</h3>
<p>The <b>DemoMode</b> menu connects the tool to a virtual ESC (full, V1-series, V1-series with
BEC) or to a virtual HID adapter (with an ESC, a V1-series ESC or the LCD program box), so
everything can be tried without hardware. Choose <b>USB programming adapter</b> to go back to
real devices. The window title ends in "- DEMO" while a virtual device is in use. Settings not
yet sent are asked about before the device changes.</p>

<h3>11. When something goes wrong</h3>
<p>A failure stays on the status line until your next action; hold the mouse over the line to
read all of it. <b>Help › Save Wire Trace…</b> saves the bytes that went over the cable most
recently to a file, to send along with a report of what happened.</p>

<h3>12. The command line</h3>
<p><tt>tesselarc-cli</tt> does the same from a terminal:</p>
<pre>tesselarc-cli ports                 adapters and serial ports
tesselarc-cli info                  adapter, device and ESC version
tesselarc-cli read [--out FILE]     print the settings, or save a .DATA file
tesselarc-cli set FIELD=VALUE ...   change settings by name and send them
tesselarc-cli write FILE            send a settings file
tesselarc-cli show FILE             print a settings file without a device
tesselarc-cli diff FILE             compare the ESC with a settings file
tesselarc-cli flash FILE            update the firmware
tesselarc-cli history               the settings kept from every read and send
tesselarc-cli doctor                what keeps the adapter from being used</pre>
<p><tt>tesselarc-cli help</tt> lists every command and its options.
Add <tt>--demo</tt> to try any of them on the virtual ESC. <tt>tesselarc --demo</tt> starts
this window on it.</p>

<h3>Keys</h3>
<p>Ctrl+O import, Ctrl+S export, F5 read from the ESC, F1 this help, Ctrl+Q quit (<b>File ›
Exit</b>). <b>Help › About Merrow...</b> shows the tool's version. Alt with the
underlined letter opens a menu. Tab moves through every control in reading order and Enter or
Space presses the button with the frame. On a value, Enter, Space or Alt+Down opens its list;
the arrow keys, Home, End or the first letters of an option pick in it, Enter takes the option
and Escape closes the list without a choice.</p>
)");
}

CHelpDlg::CHelpDlg(QWidget* parent) : QDialog(parent) {
  setWindowTitle("help");
  browser_ = new QTextBrowser(this);
  browser_->setObjectName("help_text");
  browser_->setOpenExternalLinks(false);
  browser_->setHtml(HelpHtml());
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(browser_);
  layout->addWidget(buttons);
  resize(600, 520);
}

}  // namespace tessel
