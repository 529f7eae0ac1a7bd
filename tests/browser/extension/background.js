// Runs one session through the native host and POSTs every event, in order, to the test's server; it
// connects once it knows what the host offers, and then resizes the terminal if it can.
// The test writes config.json (server address and the program to run) next to this file.

const HOST_NAME = 'com.sshnativehost.host';

let reportChain = Promise.resolve();
let reportUrl = null;

function report(event) {
  const body = JSON.stringify(event);
  reportChain = reportChain.then(() =>
      fetch(reportUrl, {method: 'POST', headers: {'Content-Type': 'application/json'}, body})
          .catch(() => {}));
  return reportChain;
}

async function run() {
  const config = await (await fetch(chrome.runtime.getURL('config.json'))).json();
  reportUrl = config.reportUrl;
  report({event: 'started', extensionId: chrome.runtime.id});

  let port;
  try {
    port = chrome.runtime.connectNative(HOST_NAME);
  } catch (e) {
    report({event: 'connectNative failed', error: String(e)});
    return;
  }
  let screen = '';
  let inputSent = false;
  let connected = false;
  port.onMessage.addListener((message) => {
    report({event: 'message', message});
    // An older host answers getCapabilities with an error: it has the base protocol only.
    if (!connected && (message.type === 'capabilities' || message.type === 'error')) {
      connected = true;
      port.postMessage({
        type: 'connect',
        connectParams: {fileName: config.fileName, arguments: config.arguments, mode: 'pseudo_console'},
      });
      if ((message.capabilities || []).includes('resize')) port.postMessage({type: 'resize', consoleSize: config.consoleSize});
    }
    if (message.type === 'pseudo_console_output') {
      screen += message.pseudoConsoleOutput.processedContent || '';
      if (!inputSent && screen.includes(config.prompt)) {
        inputSent = true;
        port.postMessage({type: 'stdin', input: config.input});
      }
    }
    if (message.type === 'error' && message.error === 'SSH Process exited') {
      port.postMessage({type: 'disconnect'});
      report({event: 'done'});
    }
  });
  port.onDisconnect.addListener(() => {
    const error = chrome.runtime.lastError ? chrome.runtime.lastError.message : '';
    report({event: 'disconnected', error});
  });
  port.postMessage({type: 'getVersion'});
  port.postMessage({type: 'getCapabilities'});
}

run().catch((e) => report({event: 'extension failed', error: String(e)}));
