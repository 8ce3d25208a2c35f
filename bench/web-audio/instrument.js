// Injected before the page loads (bench/web-audio/measure.py). Finds the
// page's sound output (SDL's ScriptProcessorNode or the worklet prototype's
// node), puts a recorder between it and the destination, logs every block the
// main thread writes and when, and compares what reached the destination with
// what was written.
(() => {
  const K = window.kvBench = {w: [], mixes: [], rec: [], wOn: false, recOn: false, kind: null, longtasks: []};
  const recSource = `class KvRec extends AudioWorkletProcessor {
    constructor() { super(); this.on = false; this.fresh(); this.port.onmessage = e => { this.on = e.data; }; }
    fresh() { this.buf = new Float32Array(2 * 128 * 32); this.n = 0; this.first = -1; }
    process(inputs, outputs) {
      const i = inputs[0], o = outputs[0], n = o[0].length;
      for (let c = 0; c < o.length; c++) { if (i[c]) o[c].set(i[c]); else o[c].fill(0); }
      if (this.on) {
        if (this.first < 0) this.first = currentFrame;
        const L = o[0], R = o[1] || o[0], b = this.buf, base = 2 * n * this.n;
        for (let j = 0; j < n; j++) { b[base + 2 * j] = L[j]; b[base + 2 * j + 1] = R[j]; }
        if (++this.n == 32) { this.port.postMessage({first: this.first, data: b}, [b.buffer]); this.fresh(); }
      } else if (this.n) { this.port.postMessage({first: this.first, data: this.buf.slice(0, 2 * 128 * this.n)}); this.fresh(); }
      return true;
    }
  }
  registerProcessor('kv-rec', KvRec);`;
  try {
    new PerformanceObserver(l => { for (const e of l.getEntries()) K.longtasks.push([e.startTime, e.duration]); })
      .observe({type: 'longtask', buffered: true});
  } catch (e) {}

  let recNode = null, ctx = null;
  const poll = setInterval(() => {
    const M = window.Module;
    if (!ctx && M && M.SDL2 && M.SDL2.audioContext) {
      ctx = M.SDL2.audioContext;
      K.ctx = ctx;
      ctx.audioWorklet.addModule(URL.createObjectURL(new Blob([recSource], {type: 'text/javascript'}))).then(() => {
        recNode = new AudioWorkletNode(ctx, 'kv-rec', {numberOfInputs: 1, numberOfOutputs: 1, outputChannelCount: [2],
                                                       channelCount: 2, channelCountMode: 'explicit'});
        recNode.port.onmessage = e => K.rec.push(e.data);
        recNode.connect(ctx.destination);
      });
    }
    if (!recNode) return;
    const sp = M.SDL2.audio && M.SDL2.audio.scriptProcessorNode;
    const wk = M.kvAudioOut && M.kvAudioOut.node;
    if (sp && sp.onaudioprocess) {
      clearInterval(poll);
      K.kind = 'scriptprocessor';
      K.bufferSize = sp.bufferSize;
      sp.disconnect(); sp.connect(recNode);
      const orig = sp.onaudioprocess;
      sp.onaudioprocess = function(e) {
        const m = performance.now(), c = ctx.currentTime;
        orig.call(this, e);
        if (!K.wOn) return;
        const ob = e.outputBuffer, L = ob.getChannelData(0), R = ob.getChannelData(1), d = new Float32Array(2 * L.length);
        for (let j = 0; j < L.length; j++) { d[2 * j] = L[j]; d[2 * j + 1] = R[j]; }
        K.w.push(d);
        // The block plays from playbackTime on; the handler must be done before the render clock gets there.
        K.mixes.push({m: m, lead: e.playbackTime - c, slack: e.playbackTime - ctx.currentTime, end: performance.now()});
      };
    } else if (wk) {
      clearInterval(poll);
      K.kind = 'worklet';
      K.target = M.kvAudioOut.target;
      const st = M.kvAudioOut;
      wk.disconnect(); wk.connect(recNode);
      const port = wk.port, post = port.postMessage.bind(port);
      port.postMessage = (d, t) => {
        if (K.wOn) {
          const now = Math.round(ctx.currentTime * ctx.sampleRate), before = st.posted - d.length / 2;
          const at = Math.max(now, st.rep.frame + (before - st.rep.consumed));
          K.w.push(d.slice());
          K.mixes.push({m: performance.now(), lead: (at - now) / ctx.sampleRate, depth: (at - now)});
        }
        post(d, t);
      };
    }
  }, 2);

  K.start = () => new Promise(res => {
    K.w = []; K.mixes = []; K.rec = []; K.longtasks = [];
    K.under0 = window.Module.kvAudioOut ? window.Module.kvAudioOut.rep.under : 0;
    K.wOn = true; K.t0 = performance.now();
    setTimeout(() => { recNode.port.postMessage(true); res(K.kind); }, 300);
  });
  K.stop = () => new Promise(res => {
    recNode.port.postMessage(false);
    K.t1 = performance.now();
    setTimeout(() => { K.wOn = false; res(K.analyse()); }, 300);
  });

  function hashes(stream, frames) {
    // One FNV-1a hash per 128-frame quantum over the float bits; -1 marks silence.
    const q = Math.floor(frames / 128), h = new Array(q), u = new Uint32Array(stream.buffer, stream.byteOffset, 2 * q * 128);
    for (let i = 0; i < q; i++) {
      let x = 0x811c9dc5, silent = true;
      for (let j = 256 * i; j < 256 * (i + 1); j++) {
        const v = u[j];
        if (v !== 0 && v !== 0x80000000) silent = false;
        x = Math.imul(x ^ v, 16777619) >>> 0;
      }
      h[i] = silent ? -1 : x;
    }
    return h;
  }
  function concat(list) {
    const n = list.reduce((s, a) => s + a.length, 0), out = new Float32Array(n);
    let o = 0;
    for (const a of list) { out.set(a, o); o += a.length; }
    return out;
  }

  K.analyse = () => {
    const W = concat(K.w), R = concat(K.rec.map(r => r.data));
    const hw = hashes(W, W.length / 2), hr = hashes(R, R.length / 2);
    const where = new Map();
    hw.forEach((h, i) => { if (h !== -1) { if (!where.has(h)) where.set(h, []); where.get(h).push(i); } });
    const matchesAt = (i, d, n) => { for (let k = 0; k < n; k++) { if (i + k >= hr.length) break;
                                      if (hr[i + k] !== hw[i + k + d]) return false; } return true; };
    // Walks the recording: each quantum is either the written quantum at the
    // current offset, or written quantum found elsewhere (the offset jumps),
    // or nothing written (silence or a stale, partly written buffer). Wrong
    // quanta are those not continuing the stream: nothing written, or
    // written audio played a second time.
    let D = null, bad = 0, jumps = 0, unaligned = 0, audible = 0, wrong = 0, breaks = 0, maxSrc = -1, prev;
    const events = [];
    for (let i = 0; i < hr.length; i++) {
      if (hr[i] !== -1) audible++;
      let src = null;
      if (D !== null && i + D >= hw.length) break;  // the written stream is over: its tail was not logged
      if (D !== null && hr[i] === hw[i + D]) src = i + D;
      else {
        let found = null;
        if (hr[i] !== -1)
          // The nearest: the music loops, so the same audio is written more than once.
          for (const j of (where.get(hr[i]) || []).slice().sort((x, y) => Math.abs(x - i - (D || 0)) - Math.abs(y - i - (D || 0))))
            if (matchesAt(i, j - i, 4)) { found = j - i; break; }
        if (found !== null) {
          if (D !== null) { jumps++; events.push({quantum: i, jump: found - D}); }
          D = found; src = i + D;
        } else if (D === null) { unaligned++; continue; }
        else { bad++; events.push({quantum: i, bad: true}); }
      }
      if (src === null || src <= maxSrc) wrong++;
      else maxSrc = src;
      if (prev !== undefined && ((src === null) !== (prev === null) || (src !== null && prev !== null && src !== prev + 1))) breaks++;
      prev = src;
    }
    // Latency: a sound started at a random moment waits for the next mixing,
    // then plays `lead` after it (the render clock's head; the output's own
    // latency comes on top).
    let sum = 0, span = 0, worst = 0, leads = [];
    for (let i = 1; i < K.mixes.length; i++) {
      const gap = K.mixes[i].m - K.mixes[i - 1].m, lead = 1000 * K.mixes[i].lead;
      sum += gap * (gap / 2 + lead); span += gap; worst = Math.max(worst, gap + lead); leads.push(lead);
    }
    leads.sort((a, b) => a - b);
    const gaps = K.mixes.slice(1).map((x, i) => x.m - K.mixes[i].m).sort((a, b) => a - b);
    const pct = (a, p) => a.length ? +a[Math.min(a.length - 1, Math.floor(p * a.length))].toFixed(1) : null;
    const r = {
      kind: K.kind, rate: K.ctx.sampleRate, baseLatencyMs: 1000 * K.ctx.baseLatency, outputLatencyMs: 1000 * K.ctx.outputLatency,
      seconds: +((K.t1 - K.t0) / 1000).toFixed(1), recordedQuanta: hr.length, audibleQuanta: audible, unaligned: unaligned,
      badQuanta: bad, jumps: jumps, wrongQuanta: wrong, wrongMs: +(wrong * 128000 / K.ctx.sampleRate).toFixed(1), breaks: breaks, events: events.slice(0, 12),
      mixes: K.mixes.length, mixGapMs: {p50: pct(gaps, 0.5), p99: pct(gaps, 0.99), max: pct(gaps, 1), over25: gaps.filter(g => g > 25).length, over50: gaps.filter(g => g > 50).length},
      leadMs: {min: pct(leads, 0), p50: pct(leads, 0.5), max: pct(leads, 1)},
      triggerToRenderMs: {mean: +(sum / span).toFixed(1), max: +worst.toFixed(1)},
      longtasks: K.longtasks.length, longestTaskMs: Math.max(0, ...K.longtasks.map(t => t[1])),
    };
    if (K.kind === 'scriptprocessor') {
      r.bufferSize = K.bufferSize;
      const s = K.mixes.map(x => 1000 * x.slack).sort((a, b) => a - b);
      r.slackMs = {min: pct(s, 0), p01: pct(s, 0.01), p50: pct(s, 0.5)};
      r.lateCallbacks = s.filter(x => x <= 0).length;
    } else {
      r.target = K.target;
      r.workletUnderrunFrames = window.Module.kvAudioOut.rep.under - K.under0;
    }
    return r;
  };
})();
