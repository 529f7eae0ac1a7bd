// Run in the example extension's page by run_example_test.py after a line that sets SSH_DESTINATION
// (empty: a local shell): flooded, typed into (xterm.js's input(), the path of a key press), narrowed and
// ended. Resolves to the host's capabilities and the pauses the flood took.
(async () => {
  const screen = () => Array.from({length: term.buffer.active.length},
      (_, i) => term.buffer.active.getLine(i).translateToString(true)).join('\n');
  const until = async (what, test) => {
    for (let i = 0; i < 100; i++, await new Promise((resolve) => setTimeout(resolve, 200))) {
      if (typeof statusText !== 'undefined' && test()) return;  // also waits for the page's script
    }
    throw new Error(`no ${what} in 20 s; status "${statusText.textContent}", screen's end:\n` +
                    screen().split('\n').slice(-40).join('\n'));
  };
  const type = async (line) => {  // at the shell's prompt ('$ ' or '# '), as the tty echoes ahead of it
    await until(`a prompt for "${line}"`, () => /(^|\n)[$#] ?\n*$/.test(screen()));
    term.input(line + '\r');
  };
  const narrow = (width) => (terminal.style.maxWidth = width, window.dispatchEvent(new Event('resize')));
  await until('page', () => true);
  destinationInput.value = SSH_DESTINATION;
  form.requestSubmit();
  const additions = ['resize', 'exitCode', 'maxOutputBytes', 'omitProcessedContent', 'pauseOutput'];
  await until(`${additions} offered`, () => additions.every((c) => hostCapabilities.includes(c)));
  // Far past the high watermark: xterm.js gets every character, in order, in large messages without
  // processedContent.
  let drawn = '', largest = 0, processed = 0;
  const write = term.write.bind(term);
  term.write = (data, callback) => (drawn += data, largest = Math.max(largest, data.length), write(data, callback));
  port.onMessage.addListener(({pseudoConsoleOutput: output}) => (processed += output && 'processedContent' in output));
  const lines = 1000000;
  await type(`echo from-$((1+1)); seq 1 ${lines}; echo to-$((1+1))`);
  await until(`${lines} and a prompt`, () => screen().match(/\n(\d+)\nto-2\n[$#] ?\n*$/)?.[1] == lines);
  const seq = Array.from({length: lines}, (_, i) => `${i + 1}\r\n`).join('');
  const flood = drawn.split('from-2\r\n')[1]?.split('to-2')[0];
  if (flood !== seq || largest <= 1024 || processed || !flowStats.pauses || flowStats.resumes !== flowStats.pauses) {
    throw new Error(`seq: ${flood?.length} of ${seq.length} characters, largest message ${largest}, ` +
                    `${processed} with processedContent, flow ${JSON.stringify(flowStats)}`);
  }
  await type(`printf '\\033]0;snh example\\007'; echo snh-$((6*7)); ls --color=always /usr`);
  await until('command output', () => screen().includes('\nsnh-42'));
  await until('window title', () => document.title === 'snh example');
  const size = (narrow('560px'), await until('refit', () => term.cols < 70), `${term.rows} ${term.cols}`);
  await type('stty size');
  await until(`"${size}" from stty size`, () => screen().includes(`\n${size}\n`));
  narrow('');  // the whole window again, for the screenshot
  await type('exit 3');
  await until('"Exited with code 3"', () => statusText.textContent === 'Exited with code 3');
  await until('the page title back', () => document.title === 'ssh-native-host terminal');
  return `the host offers ${hostCapabilities}; seq 1 ${lines} whole through ${flowStats.pauses} pauses`;
})()
