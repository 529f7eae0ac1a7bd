// One terminal tab: asks for a destination, runs ssh (or the user's shell) through ssh-native-host in
// pseudo-console mode and connects it to an xterm.js terminal. The same code runs in Chromium and Firefox.

const HOST_NAME = 'com.sshnativehost.host';
const EXITED = 'SSH Process exited';
const PAGE_TITLE = document.title;
// How many destinations the field remembers.
const REMEMBERED = 8;
// terminal.html?additions=off: nothing beyond the base protocol, as with a host that offers no
// additions (the benchmark compares the two).
const USE_ADDITIONS = new URLSearchParams(location.search).get('additions') !== 'off';
// The most output bytes one message may carry: fewer, larger messages under a flood (the browser's cost
// is per message), while a key's echo still comes at once.
const MAX_OUTPUT_BYTES = 262144;
// Flow control as in xterm.js's guide: above HIGH characters given to term.write and not yet parsed, the
// host stops reading the client until the backlog is under LOW. The client then waits on its terminal,
// so nothing is lost and the page keeps answering keys however fast the client prints.
const HIGH_WATERMARK = 512 * 1024;
const LOW_WATERMARK = 128 * 1024;

// Top-level, so DevTools (and the browser test) can read the screen: term.buffer.active.
const term = new Terminal({cursorBlink: true, scrollback: 5000});
const fitAddon = new FitAddon.FitAddon();
term.loadAddon(fitAddon);
term.open(document.getElementById('terminal'));
fitAddon.fit();

const form = document.getElementById('connect');
const destinationInput = document.getElementById('destination');
const button = form.querySelector('button');
const statusText = document.getElementById('status');
const recentList = document.getElementById('recent');

let port = null;
// What the host offers beyond the base protocol, from getCapabilities; none from an older host.
let hostCapabilities = [];
let hostVersion = '';
// Set by the Disconnect button, so that the exit notice it causes reads as a disconnect.
let disconnecting = false;
// This connection's backlog; a new object for each, so a late callback of the last one changes nothing.
let flow = {unparsed: 0, paused: false};
// pauseOutput and resumeOutput sent, for DevTools and the browser test.
const flowStats = {pauses: 0, resumes: 0};

function recentDestinations() {
  try {
    const list = JSON.parse(localStorage.getItem('recent') || '[]');
    return Array.isArray(list) ? list.filter((item) => typeof item === 'string') : [];
  } catch {
    return [];
  }
}

function remember(destination) {
  const list = [destination, ...recentDestinations().filter((item) => item !== destination)];
  localStorage.setItem('recent', JSON.stringify(list.slice(0, REMEMBERED)));
  showRecent();
}

function showRecent() {
  recentList.replaceChildren(...recentDestinations().map((item) => new Option(item)));
}

showRecent();
destinationInput.value = recentDestinations()[0] || '';

function setStatus(text) {
  statusText.textContent = text;
}

function note(text, color = 0) {
  term.write(`\r\n\x1b[${color}m[${text}]\x1b[0m\r\n`);
}

// The words of a command line as a shell splits them: spaces separate, '...' and "..." quote, a
// backslash escapes the next character. Null for an unclosed quote.
function splitWords(text) {
  const words = [];
  let word = null;
  let quote = null;
  for (let i = 0; i < text.length; i++) {
    const c = text[i];
    if (quote) {
      if (c === quote) quote = null;
      else if (c === '\\' && quote === '"' && i + 1 < text.length) word += text[++i];
      else word += c;
    } else if (/\s/.test(c)) {
      if (word !== null) words.push(word);
      word = null;
    } else {
      word = word ?? '';
      if (c === "'" || c === '"') quote = c;
      else if (c === '\\' && i + 1 < text.length) word += text[++i];
      else word += c;
    }
  }
  if (quote) return null;
  if (word !== null) words.push(word);
  return words;
}

// What ssh-native-host-cli takes: ssh's options and destination (and a command), given to ssh as they
// are. Empty means the user's own shell: $SHELL on Linux and macOS, %ComSpec% on Windows.
function programFor(destination) {
  if (destination === '') {
    if (navigator.platform.startsWith('Win')) {
      // Programs start without expanding variables: cmd expands %ComSpec% and runs it.
      return {fileName: 'cmd.exe', arguments: ['/d', '/c', '%ComSpec%'], label: 'local shell'};
    }
    return {fileName: '/bin/sh', arguments: ['-c', 'exec "${SHELL:-/bin/sh}"'], label: 'local shell'};
  }
  const words = splitWords(destination);
  if (!words || words.length === 0) return null;
  return {fileName: 'ssh', arguments: words, label: destination};
}

function sendResize() {
  if (port && hostCapabilities.includes('resize')) {
    port.postMessage({type: 'resize', consoleSize: {x: term.cols, y: term.rows}});
  }
}

function draw(text) {
  if (!hostCapabilities.includes('pauseOutput')) {
    term.write(text);
    return;
  }
  const session = flow;
  session.unparsed += text.length;
  term.write(text, () => {
    session.unparsed -= text.length;
    if (session.paused && session.unparsed < LOW_WATERMARK && session === flow && port) {
      session.paused = false;
      flowStats.resumes++;
      port.postMessage({type: 'resumeOutput'});
    }
  });
  if (!session.paused && session.unparsed > HIGH_WATERMARK) {
    session.paused = true;
    flowStats.pauses++;
    port.postMessage({type: 'pauseOutput'});
  }
}

function sessionEnded(status) {
  setStatus(status);
  if (port) port.disconnect();
  port = null;
  disconnecting = false;
  button.textContent = 'Connect';
  document.title = PAGE_TITLE;
}

function onHostMessage(message, program) {
  switch (message.type) {
    case 'version':
      hostVersion = message.version;
      setStatus(`Connected: ${program.label} (host ${hostVersion})`);
      break;
    case 'capabilities':
      // Asked before connect, so this comes before any output and the first size is right.
      hostCapabilities = message.capabilities;
      sendResize();
      break;
    case 'pseudo_console_output': {
      const output = message.pseudoConsoleOutput;
      if (output.rawContent) draw(output.rawContent);
      if (output.windowTitle) document.title = output.windowTitle;
      break;
    }
    case 'error':
      if (message.error === EXITED) {
        const code = USE_ADDITIONS && 'exitCode' in message ? ` with code ${message.exitCode}` : '';
        note(disconnecting ? `disconnected from ${program.label}` : `${program.label} exited${code}`);
        port.postMessage({type: 'disconnect'});
        sessionEnded(disconnecting ? 'Disconnected' : `Exited${code}`);
      } else if (message.error === 'Unkown type') {
        // A host from before getCapabilities: the base protocol only, a fixed 50x30 console.
        hostCapabilities = [];
      } else {
        note(`host: ${message.error.trimEnd()}`, 31);
        setStatus(`Error: ${message.error.trimEnd()}`);
      }
      break;
  }
}

// Chromium tells why through runtime.lastError, Firefox through the port's error.
function onHostGone(gonePort) {
  if (!port) return;
  const error = chrome.runtime.lastError || gonePort.error;
  const reason = error ? error.message : 'the host ended';
  if (/not found|Access to the specified native messaging host|No such native application/.test(reason)) {
    // The usual first-run problem: the host is not registered for this extension's id.
    note('Register the host for this extension: ssh-native-host-register install --extension-id ' +
         chrome.runtime.id, 33);
  }
  sessionEnded(`Disconnected: ${reason}`);
}

function connect(program) {
  try {
    port = chrome.runtime.connectNative(HOST_NAME);
  } catch (e) {
    setStatus(`Cannot start the host: ${e.message}`);
    return;
  }
  hostCapabilities = [];
  disconnecting = false;
  flow = {unparsed: 0, paused: false};
  button.textContent = 'Disconnect';
  setStatus(`Connected: ${program.label}`);
  document.title = program.label;
  port.onMessage.addListener((message) => onHostMessage(message, program));
  port.onDisconnect.addListener(onHostGone);
  port.postMessage({type: 'getVersion'});
  const connectParams = {fileName: program.fileName, arguments: program.arguments, mode: 'pseudo_console'};
  if (USE_ADDITIONS) {
    port.postMessage({type: 'getCapabilities'});
    // A host without these members ignores them, so they need not wait for the capabilities.
    Object.assign(connectParams, {maxOutputBytes: MAX_OUTPUT_BYTES, omitProcessedContent: true});
  }
  port.postMessage({type: 'connect', connectParams});
  term.focus();
}

form.addEventListener('submit', (event) => {
  event.preventDefault();
  if (port) {
    // The host ends the client and then sends the exit notice, which ends the session here.
    disconnecting = true;
    port.postMessage({type: 'disconnect'});
    return;
  }
  const destination = destinationInput.value.trim();
  const program = programFor(destination);
  if (!program) {
    setStatus('Unclosed quote: give ssh\'s options and destination as you would in a shell');
    return;
  }
  if (destination !== '') remember(destination);
  term.reset();
  connect(program);
});

term.onData((data) => {
  if (port) port.postMessage({type: 'stdin', input: data});
});
term.onResize(sendResize);
window.addEventListener('resize', () => fitAddon.fit());
// Closing the tab ends the session, so ask first, as a terminal window would.
window.addEventListener('beforeunload', (event) => {
  if (port) event.preventDefault();
});
