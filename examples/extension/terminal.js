// One terminal tab: asks for a destination, runs ssh (or a local shell) through ssh-native-host in
// pseudo-console mode and connects it to an xterm.js terminal.

const HOST_NAME = 'com.sshnativehost.host';
const EXITED = 'SSH Process exited';

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

let port = null;
// What the host offers beyond the base protocol, from getCapabilities; none from an older host.
let hostCapabilities = [];
let hostVersion = '';

destinationInput.value = localStorage.getItem('destination') || '';

function setStatus(text) {
  statusText.textContent = text;
}

function note(text, color = 0) {
  term.write(`\r\n\x1b[${color}m[${text}]\x1b[0m\r\n`);
}

// "user@host", "user@host:port" or "host" gives ssh's arguments; empty means a local shell.
function programFor(destination) {
  if (destination === '') {
    const windows = navigator.platform.startsWith('Win');
    return {fileName: windows ? 'cmd.exe' : '/bin/sh', arguments: [], label: 'local shell'};
  }
  const match = /^((?:[^@\s:]+@)?[^@\s:]+)(?::(\d{1,5}))?$/.exec(destination);
  if (!match) return null;
  const args = match[2] ? ['-p', match[2], match[1]] : [match[1]];
  return {fileName: 'ssh', arguments: args, label: destination};
}

function sendResize() {
  if (port && hostCapabilities.includes('resize')) {
    port.postMessage({type: 'resize', consoleSize: {x: term.cols, y: term.rows}});
  }
}

function sessionEnded(status) {
  setStatus(status);
  if (port) port.disconnect();
  port = null;
  button.textContent = 'Connect';
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
      if (output.rawContent) term.write(output.rawContent);
      if (output.windowTitle) document.title = output.windowTitle;
      break;
    }
    case 'error':
      if (message.error === EXITED) {
        const code = 'exitCode' in message ? ` with code ${message.exitCode}` : '';
        note(`${program.label} exited${code}`);
        port.postMessage({type: 'disconnect'});
        sessionEnded(`Exited${code}`);
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

function onHostGone() {
  if (!port) return;
  const reason = chrome.runtime.lastError ? chrome.runtime.lastError.message : 'the host ended';
  if (reason.includes('not found') || reason.includes('Access to the specified native messaging host')) {
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
  button.textContent = 'Disconnect';
  setStatus(`Connected: ${program.label}`);
  document.title = program.label;
  port.onMessage.addListener((message) => onHostMessage(message, program));
  port.onDisconnect.addListener(onHostGone);
  port.postMessage({type: 'getVersion'});
  port.postMessage({type: 'getCapabilities'});
  port.postMessage({
    type: 'connect',
    connectParams: {fileName: program.fileName, arguments: program.arguments, mode: 'pseudo_console'},
  });
  term.focus();
}

form.addEventListener('submit', (event) => {
  event.preventDefault();
  if (port) {
    // The host ends the client and then sends the exit notice, which ends the session here.
    port.postMessage({type: 'disconnect'});
    return;
  }
  const destination = destinationInput.value.trim();
  const program = programFor(destination);
  if (!program) {
    setStatus('Destination must look like user@host or user@host:port');
    return;
  }
  localStorage.setItem('destination', destination);
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
