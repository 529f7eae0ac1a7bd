// The bench page: bench/browser/run_browser_bench.py calls these functions here, in the extension's own
// page, and reads what they resolve to. Everything is timed in the page (performance.now()), at the
// point where a real extension sees the messages: onMessage. Text is ASCII, so a string's length is
// its byte count.

const HOST_NAME = 'com.sshnativehost.host';
const EXITED = 'SSH Process exited';

function outputText(message) {
  if (message.type === 'stdout') return message.outputLine;
  if (message.type === 'pseudo_console_output') return message.pseudoConsoleOutput.rawContent;
  return null;
}

// A port with its messages as a stream the caller awaits one at a time (nothing is dropped between).
function openPort(name) {
  const port = chrome.runtime.connectNative(name);
  const queue = [];
  let wake = null;
  let gone = null;
  port.onMessage.addListener((message) => {
    queue.push(message);
    if (wake) wake();
  });
  port.onDisconnect.addListener((p) => {
    gone = (chrome.runtime.lastError || p.error || {}).message || 'the host ended';
    if (wake) wake();
  });
  const next = async (deadline) => {
    while (queue.length === 0) {
      if (gone !== null) throw new Error(`port closed: ${gone}`);
      const left = deadline - performance.now();
      if (left <= 0) throw new Error('timed out');
      await new Promise((resolve) => {
        const timer = setTimeout(resolve, left);
        wake = () => (clearTimeout(timer), resolve());
      });
      wake = null;
    }
    return queue.shift();
  };
  return {port, next};
}

// Bytes and messages of output reaching onMessage. With connectParams, the real host runs a client
// that prints expectBytes and exits: the clock runs from the connect (the host already answered
// getVersion, so its start is not counted) to the last output message. Without, a stand-in host
// writes ready-made frames as soon as it starts: the clock runs from its first message to its last,
// which reach expectBytes, and the first message's bytes are not counted.
async function measureOutput({host = HOST_NAME, connectParams = null, expectBytes, timeoutSeconds}) {
  const {port, next} = openPort(host);
  const deadline = performance.now() + timeoutSeconds * 1000;
  let bytes = 0, messages = 0, start = 0, last = 0, total = 0;
  try {
    if (connectParams) {
      port.postMessage({type: 'getVersion'});
      while ((await next(deadline)).type !== 'version');
      start = performance.now();
      port.postMessage({type: 'connect', connectParams});
    }
    for (;;) {
      const message = await next(deadline);
      const text = outputText(message);
      if (text !== null) {
        last = performance.now();
        total += text.length;
        if (!connectParams && start === 0) {
          start = last;  // the stand-in's first message starts the clock
          continue;
        }
        bytes += text.length;
        messages++;
        if (!connectParams && total >= expectBytes) break;
      } else if (message.type === 'error' && message.error === EXITED) {
        break;
      } else if (message.type === 'error') {
        throw new Error(`host: ${message.error}`);
      }
    }
  } finally {
    port.disconnect();
  }
  return {bytes, messages, seconds: (last - start) / 1000, total_bytes: total};
}

// Output of a session until it holds text.
async function awaitText(session, text, deadline) {
  for (let seen = ''; !seen.includes(text);) {
    const message = await session.next(deadline);
    if (message.type === 'error') throw new Error(`host: ${message.error}`);
    seen += outputText(message) ?? '';
  }
}

// Key-to-echo: a one-character stdin to a client that echoes it (its script prints "ready" first),
// timed until the echo reaches onMessage; one key at a time. The sessions (name: connectParams) run side
// by side and take turns key by key, so that a base row and its row with the additions meet the same
// load on the machine. Resolves to {sessions: {name: figures}}.
async function measureEcho({sessions, keys, timeoutSeconds}) {
  const deadline = performance.now() + timeoutSeconds * 1000;
  const open = Object.entries(sessions).map(([name, connectParams]) => ({name, connectParams, times: [],
                                                                          ...openPort(HOST_NAME)}));
  try {
    for (const session of open) session.port.postMessage({type: 'connect', connectParams: session.connectParams});
    for (const session of open) await awaitText(session, 'ready', deadline);
    for (let i = 0; i < keys; i++) {
      const key = String.fromCharCode(97 + (i % 26));
      for (const session of open) {
        const start = performance.now();
        session.port.postMessage({type: 'stdin', input: key});
        await awaitText(session, key, deadline);
        session.times.push(performance.now() - start);
      }
    }
  } finally {
    for (const session of open) session.port.disconnect();
  }
  const figures = ({times}) => {
    times.sort((a, b) => a - b);
    const at = (q) => times[Math.min(times.length - 1, Math.floor(q * times.length))];
    return {keys: times.length, p50_ms: at(0.5), p99_ms: at(0.99), max_ms: times[times.length - 1]};
  };
  return {sessions: Object.fromEntries(open.map((session) => [session.name, figures(session)]))};
}
