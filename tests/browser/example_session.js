// Run in the example extension's page by run_example_test.py: a local shell typed into (xterm.js's
// input(), the path of a key press), narrowed and ended; the host must offer resize and exitCode.
// Resolves to the host's capabilities.
(async () => {
  const screen = () => Array.from({length: term.buffer.active.length},
      (_, i) => term.buffer.active.getLine(i).translateToString(true)).join('\n');
  const until = async (what, test) => {
    for (let i = 0; i < 100; i++, await new Promise((resolve) => setTimeout(resolve, 200))) {
      if (typeof statusText !== 'undefined' && test()) return;  // also waits for the page's script
    }
    throw new Error(`no ${what} in 20 s; status "${statusText.textContent}", screen:\n${screen()}`);
  };
  const type = async (line) => {  // at the shell's prompt ('$ ' or '# '), as the tty echoes ahead of it
    await until(`a prompt for "${line}"`, () => /(^|\n)[$#] ?\n*$/.test(screen()));
    term.input(line + '\r');
  };
  const narrow = (width) => (terminal.style.maxWidth = width, window.dispatchEvent(new Event('resize')));
  await until('page', () => true);
  destinationInput.value = '';  // a local shell
  form.requestSubmit();
  await type(`printf '\\033]0;snh example\\007'; echo snh-$((6*7)); ls --color=always /usr`);
  await until('command output', () => screen().includes('\nsnh-42'));
  await until('window title', () => document.title === 'snh example');
  const additions = ['resize', 'exitCode'];
  await until(`${additions} offered`, () => additions.every((c) => hostCapabilities.includes(c)));
  const size = (narrow('560px'), await until('refit', () => term.cols < 70), `${term.rows} ${term.cols}`);
  await type('stty size');
  await until(`"${size}" from stty size`, () => screen().includes(`\n${size}\n`));
  narrow('');  // the whole window again, for the screenshot
  await type('exit 3');
  await until('"Exited with code 3"', () => statusText.textContent === 'Exited with code 3');
  await until('the page title back', () => document.title === 'ssh-native-host terminal');
  return hostCapabilities;
})()
