// Evaluated in the example extension's page by run_example_test.py: a local shell typed into as keys
// would be, resized, ended. Resolves to the host's capabilities; throws what went wrong.
(async () => {
  const screen = () => {
    const buffer = term.buffer.active, lines = [];
    for (let i = 0; i < buffer.length; i++) lines.push(buffer.getLine(i).translateToString(true));
    return lines.join('\n');
  };
  const until = async (what, test) => {
    for (let i = 0; i < 100; i++, await new Promise((resolve) => setTimeout(resolve, 200))) {
      if (test()) return;
    }
    throw new Error(`no ${what} in 20 s; status "${statusText.textContent}", screen:\n${screen()}`);
  };
  destinationInput.value = '';  // a local shell
  form.requestSubmit();
  await until('prompt', () => screen().trim());
  term.input(`printf '\\033]0;snh example\\007'; echo snh-$((6*7)); ls --color=always /usr\r`);
  await until('command output', () => screen().includes('\nsnh-42'));
  await until('window title', () => document.title === 'snh example');
  if (hostCapabilities.includes('resize')) {
    const before = term.cols;
    document.getElementById('terminal').style.maxWidth = '560px';
    window.dispatchEvent(new Event('resize'));
    await until('refit', () => term.cols < before);
    const size = `${term.rows} ${term.cols}`;
    term.input('stty size\r');
    await until(`"${size}" from stty size`, () => screen().includes(`\n${size}\n`));
    document.getElementById('terminal').style.maxWidth = '';  // back to the window, for the screenshot
    window.dispatchEvent(new Event('resize'));
  }
  term.input('exit 3\r');
  const exited = hostCapabilities.includes('exitCode') ? 'Exited with code 3' : 'Exited';
  await until(`"${exited}"`, () => statusText.textContent === exited);
  return hostCapabilities;
})()
