// Records 1.5 s of what SDL's audio node plays and returns its peak (0..1).
(async () => {
  const ctx = Module.SDL2.audioContext, src = Module.SDL2.audio.scriptProcessorNode;
  const rec = ctx.createScriptProcessor(4096, 2, 2);
  let peak = 0;
  rec.onaudioprocess = e => {
    for (let c = 0; c < 2; c++)
      for (const v of e.inputBuffer.getChannelData(c)) peak = Math.max(peak, Math.abs(v));
  };
  src.connect(rec);
  rec.connect(ctx.destination);
  await new Promise(res => setTimeout(res, 1500));
  src.disconnect(rec);
  rec.disconnect();
  return peak;
})()
