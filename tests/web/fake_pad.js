// A standard-layout pad for a browser that has none (headless): the page's
// navigator.getGamepads answers with it once plugged in, as a browser's own
// Gamepad API would, and each control the test holds stays held for an exact
// number of the game's frames (counted by the frames the page is told of).
(() => {
  const pad = {id: 'Test pad (STANDARD GAMEPAD)', index: 0, connected: true, mapping: 'standard',
               timestamp: 0, axes: [0, 0, 0, 0],
               buttons: Array.from({length: 17}, () => ({pressed: false, touched: false, value: 0}))};
  let plugged = false, holds = [];
  const frame = () => (window.Module && Module.kvGame ? Module.kvGame.frame : 0);
  // A new snapshot with a new time stamp whenever a control changes.
  function update() {
    const f = frame();
    holds = holds.filter(h => f <= h.until);
    const axes = [0, 0, 0, 0], down = pad.buttons.map(() => false);
    for (const h of holds) {
      if ('axis' in h) axes[h.axis] = h.value;
      else down[h.button] = true;
    }
    if (axes.every((v, i) => v === pad.axes[i]) && down.every((d, i) => d === pad.buttons[i].pressed)) return;
    pad.axes = axes;
    pad.buttons = down.map(d => ({pressed: d, touched: d, value: d ? 1 : 0}));
    pad.timestamp = performance.now();
  }
  navigator.getGamepads = () => {
    update();
    return [plugged ? pad : null, null, null, null];
  };
  window.kvPad = {
    plug() {
      plugged = true;
      const e = new Event('gamepadconnected');
      e.gamepad = pad;
      window.dispatchEvent(e);
    },
    // {button: b} or {axis: a, value: v}, for the game's next `frames` frames.
    hold(control, frames) { holds.push(Object.assign({until: frame() + frames}, control)); },
  };
})();
