// Run in the example extension's page (examples/extension/terminal.html) by run_browser_bench.py, which
// appends a call of one of the rows. They drive the page as a user would (a local shell, keys through
// xterm.js's input()), reading its top-level globals: term, destinationInput, form, statusText.

function screenLine(y) {
  return term.buffer.active.getLine(y)?.translateToString(true) ?? '';
}

function cursorRow() {
  return term.buffer.active.baseY + term.buffer.active.cursorY;
}

// The shell waits at its prompt ('$ ' or '# ') on the cursor's row.
function atPrompt() {
  return /^[$#] ?$/.test(screenLine(cursorRow()));
}

// Polls every 5 ms until test() holds; the time it first did.
function until(what, test, seconds) {
  const start = performance.now();
  return new Promise((resolve, reject) => {
    const poll = () => {
      if (typeof statusText !== 'undefined' && test()) resolve(performance.now());
      else if (performance.now() - start > seconds * 1000) {
        const y = cursorRow();
        reject(new Error(`no ${what} in ${seconds} s; status "${statusText.textContent}", rows up to the cursor: ` +
            JSON.stringify([y - 2, y - 1, y].map(screenLine))));
      }
      else setTimeout(poll, 5);
    };
    poll();
  });
}

async function startShell() {
  await until('page', () => true, 20);
  destinationInput.value = '';  // a local shell
  form.requestSubmit();
  await until('prompt', atPrompt, 20);
}

// Disconnects, so that the page can be left without its "leave the session?" question.
async function endShell() {
  form.requestSubmit();
  await until('disconnect', () => form.querySelector('button').textContent === 'Connect', 20);
}

// From submitting the command to its last line drawn above the next prompt.
async function drawRow({command, lastLine, timeoutSeconds}) {
  await startShell();
  const start = performance.now();
  term.input(command + '\r');
  const end = await until(`"${lastLine}" and a prompt`,
      () => atPrompt() && screenLine(cursorRow() - 1) === lastLine, timeoutSeconds);
  await endShell();
  return {seconds: (end - start) / 1000};
}

// A flood through the page: every string handed to term.write is counted, and a task posted every
// 50 ms (through a MessageChannel, which no timer clamping delays) times how long the page takes to
// get to it while output flows: what a key press waits for at most, as input is a task too.
async function floodRow({command, lastLine, timeoutSeconds}) {
  await startShell();
  let given = 0;
  const write = term.write.bind(term);
  term.write = (data, ...rest) => ((given += data.length), write(data, ...rest));
  const lags = [];
  const channel = new MessageChannel();
  let posted = 0;
  channel.port1.onmessage = () => lags.push(performance.now() - posted);
  const probe = setInterval(() => ((posted = performance.now()), channel.port2.postMessage(null)), 50);
  const start = performance.now();
  term.input(command + '\r');
  try {
    const end = await until(`"${lastLine}" and a prompt`,
        () => atPrompt() && screenLine(cursorRow() - 1) === lastLine, timeoutSeconds);
    return {seconds: (end - start) / 1000, given, max_lag_ms: Math.max(0, ...lags), probes: lags.length};
  } finally {
    clearInterval(probe);
    term.write = write;
    await endShell();
  }
}

// What xterm.js alone needs for the text of `seq 1 count` (with the terminal's \r\n), given in one
// term.write in this page: the part of the seq rows that no protocol can save.
async function parseRow({count}) {
  await until('page', () => true, 20);
  let text = '';
  for (let i = 1; i <= count; i++) text += `${i}\r\n`;
  const start = performance.now();
  await new Promise((resolve) => term.write(text, resolve));
  return {seconds: (performance.now() - start) / 1000, given: text.length};
}

