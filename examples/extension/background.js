// The toolbar button opens a new terminal tab; each tab runs its own session.
chrome.action.onClicked.addListener(() => {
  chrome.tabs.create({url: chrome.runtime.getURL('terminal.html')});
});
