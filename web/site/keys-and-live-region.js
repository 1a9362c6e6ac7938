// The page's keyboard and its live region: keys on the canvas go to the game, and each line the
// game says (platform/web_app.cpp calls melvaronLiveRegion.say) is added to the polite live
// region beside the canvas, for a screen reader to read out. Nothing of it shows on the canvas.
'use strict';
(function () {
  const canvas = document.getElementById('screen');
  const region = document.getElementById('spoken');
  const Kept = 200; // lines left in the region; a screen reader has read the older ones

  window.melvaronLiveRegion = {
    said: 0, // lines said since the page loaded
    say(text) {
      const line = document.createElement('p');
      line.textContent = text;
      region.appendChild(line);
      while (region.childElementCount > Kept) region.firstElementChild.remove();
      this.said++;
    },
  };

  // The keys the game takes, by the browser's names for them; a letter in either case.
  const keys = new Map(melvaronFacts.keys.map((k) => [k.key, k]));
  // Undo and redo with Ctrl (Command on a Mac): the game's take-back and put-again keys.
  const ctrlKey = (name, shift) => melvaronFacts.ctrlKeys.find((k) => k.key === name &&
                                                                       k.shift === shift);
  canvas.addEventListener('keydown', (event) => {
    // WebKitGTK names Shift+Tab's key "Unidentified" (GTK's ISO_Left_Tab); its code is Tab's.
    const given = event.key === 'Unidentified' ? event.code : event.key;
    const name = given.length === 1 ? given.toLowerCase() : given;
    if (event.altKey || (event.ctrlKey && event.metaKey)) return;
    let code, shift;
    if (event.ctrlKey || event.metaKey) {
      const shortcut = ctrlKey(name, event.shiftKey);
      if (shortcut === undefined) return;
      if (event.repeat) {
        event.preventDefault();
        return;
      }
      [code, shift] = [shortcut.code, shortcut.asShift];
    } else {
      const key = keys.get(name);
      if (key === undefined) return;
      if (event.repeat && !key.repeats) {
        event.preventDefault();
        return;
      }
      [code, shift] = [key.code, event.shiftKey];
    }
    if (!window.Module || !Module._melvaron_key) return; // the game has not started
    // A key the game leaves (Tab past its last item) moves the focus on, out of the canvas.
    if (Module._melvaron_key(code, shift ? 1 : 0)) event.preventDefault();
  });
})();
