// The page's keyboard and its voice: keys on the canvas go to the game, and each line the game
// says (platform/web_app.cpp calls melvaronSpeech.say) is added to the polite live region beside
// the canvas, for a screen reader to read out. Nothing of it shows on the canvas.
'use strict';
(function () {
  const canvas = document.getElementById('screen');
  const spoken = document.getElementById('spoken');
  const Kept = 200; // lines left in the region; a screen reader has read the older ones

  window.melvaronSpeech = {
    said: 0, // lines said since the page loaded
    say(text) {
      const line = document.createElement('p');
      line.textContent = text;
      spoken.appendChild(line);
      while (spoken.childElementCount > Kept) spoken.firstElementChild.remove();
      this.said++;
    },
  };

  // The keys the game takes, by the browser's numbers for them (KeyboardEvent.keyCode).
  const codes = {ArrowLeft: 37, ArrowUp: 38, ArrowRight: 39, ArrowDown: 40, Tab: 9, Enter: 13,
                 ' ': 32, Escape: 27, b: 66, B: 66, r: 82, R: 82};
  const repeating = new Set([37, 38, 39, 40, 9]); // moving about; the others press once
  canvas.addEventListener('keydown', (event) => {
    // WebKitGTK names Shift+Tab's key "Unidentified" (GTK's ISO_Left_Tab); its code is Tab's.
    const code = codes[event.key === 'Unidentified' ? event.code : event.key];
    if (code === undefined || event.ctrlKey || event.altKey || event.metaKey) return;
    if (!window.Module || !Module._melvaron_key) return; // the game has not started
    if (event.repeat && !repeating.has(code)) {
      event.preventDefault();
      return;
    }
    // A key the game leaves (Tab past its last item) moves the focus on, out of the canvas.
    if (Module._melvaron_key(code, event.shiftKey ? 1 : 0)) event.preventDefault();
  });
  // A click hands the canvas the keyboard too (the page's press handler keeps the browser from
  // focusing it).
  canvas.addEventListener('mousedown', () => canvas.focus({preventScroll: true}));
})();
