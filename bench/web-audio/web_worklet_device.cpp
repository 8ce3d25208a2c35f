// Prototype: the browser's sound output through an AudioWorklet fed from the
// main thread. The page's main thread mixes 512-frame fragments whenever the
// worklet's queue falls below a target depth (on a timer and on each report
// the worklet posts) and posts them over the node's port; the worklet plays
// them and counts the frames it had to leave silent.
#include "audio/web/web_worklet_device.h"

#include <emscripten.h>

#include <cstring>

using namespace kelvora;

namespace softmix {

namespace {

void Pump(webworkletdevice* self, int frames) { self->pump(frames); }

EM_JS(int, kv_worklet_rate, (), {
    var make = window.AudioContext || window.webkitAudioContext;
    if (!Module.SDL2) Module.SDL2 = {};
    if (!Module.SDL2.audioContext && make) Module.SDL2.audioContext = new make();
    return Module.SDL2.audioContext ? Module.SDL2.audioContext.sampleRate : 0;
});

EM_JS(void, kv_worklet_open, (void* self, void* pump, int target), {
        var ctx = Module.SDL2.audioContext;
        var source =
          "class KvOut extends AudioWorkletProcessor {" +
          " constructor() { super(); this.q = []; this.off = 0; this.consumed = 0; this.under = 0;" +
          "  this.started = false; this.n = 0; this.port.onmessage = e => this.q.push(e.data); }" +
          " process(inputs, outputs) {" +
          "  const L = outputs[0][0], R = outputs[0][1], n = L.length; let i = 0;" +
          "  while (i < n && this.q.length) {" +
          "   const b = this.q[0], k = Math.min(n - i, b.length / 2 - this.off);" +
          "   for (let j = 0; j < k; j++) { L[i + j] = b[2 * (this.off + j)]; R[i + j] = b[2 * (this.off + j) + 1]; }" +
          "   i += k; this.off += k;" +
          "   if (2 * this.off >= b.length) { this.q.shift(); this.off = 0; }" +
          "  }" +
          "  if (i > 0) this.started = true;" +
          "  this.consumed += i;" +
          "  if (i < n) { L.fill(0, i); R.fill(0, i); if (this.started) this.under += n - i; }" +
          "  if (++this.n % 4 == 0 || (i < n && this.started))" +
          "   this.port.postMessage({frame: currentFrame + n, consumed: this.consumed, under: this.under});" +
          "  return true;" +
          " }" +
          "}" +
          "registerProcessor('kv-out', KvOut);";
        var st = Module.kvAudioOut = {ctx: ctx, node: null, posted: 0, target: target, timer: 0,
                                      rep: {frame: 0, consumed: 0, under: 0}, closed: false};
        // Frames queued in the worklet: what was posted less what it played by
        // its last report and the render clock since.
        st.depth = function() {
            var now = Math.round(ctx.currentTime * ctx.sampleRate);
            var played = st.rep.consumed + (st.node ? Math.max(0, now - st.rep.frame) : 0);
            return st.posted - Math.min(played, st.posted);
        };
        st.feed = function() {
            if (st.closed || !st.node) return;
            var need = st.target - st.depth();
            if (need > 0) dynCall('vii', pump, [self, need]);
        };
        var url = URL.createObjectURL(new Blob([source], {type: 'text/javascript'}));
        ctx.audioWorklet.addModule(url).then(function() {
            if (st.closed) return;
            st.node = new AudioWorkletNode(ctx, 'kv-out', {numberOfInputs: 0, numberOfOutputs: 1,
                                                           outputChannelCount: [2]});
            st.rep = {frame: Math.round(ctx.currentTime * ctx.sampleRate), consumed: 0, under: 0};
            st.node.port.onmessage = function(e) { st.rep = e.data; st.feed(); };
            st.node.connect(ctx.destination);
            st.feed();
            st.timer = setInterval(st.feed, 4);
        }).catch(function(e) { console.warn('Kelvora 3D: no sound (' + e + ')'); });
});

EM_JS(void, kv_worklet_post, (const float* values, int count), {
    var st = Module.kvAudioOut;
    var copy = HEAPF32.slice(values >> 2, (values >> 2) + count);
    st.posted += count / 2;
    st.node.port.postMessage(copy, [copy.buffer]);
});

EM_JS(void, kv_worklet_close, (), {
        var st = Module.kvAudioOut;
        if (!st) return;
        st.closed = true;
        clearInterval(st.timer);
        if (st.node) { st.node.port.onmessage = null; st.node.disconnect(); }
        Module.kvAudioOut = undefined;
});

}  // namespace

int webworkletdevice::init(int target_frames)
{
    int rate = kv_worklet_rate();
    if (rate <= 0) return -1;
    stream_ = SDL_NewAudioStream(AUDIO_S16SYS, 2, 44100, AUDIO_F32SYS, 2, rate);
    if (!stream_) return -1;
    mixer_ = std::make_unique<mixer>(FRAGMENT_VALUES);
    fragment_.resize(FRAGMENT_VALUES);
    kv_worklet_open(this, reinterpret_cast<void*>(&Pump), target_frames);
    return 0;
}

void webworkletdevice::pump(int frames)
{
    // Whole fragments until the converter holds what was asked for.
    while (SDL_AudioStreamAvailable(stream_) < frames * int(2 * sizeof(float))) {
        mixer_->mix16(fragment_.data());
        if (SDL_AudioStreamPut(stream_, fragment_.data(), FRAGMENT_VALUES * int(sizeof(int16_t))) != 0) return;
    }
    int bytes = SDL_AudioStreamAvailable(stream_);
    out_.resize(size_t(bytes) / sizeof(float));
    int got = SDL_AudioStreamGet(stream_, out_.data(), bytes);
    if (got <= 0) return;
    kv_worklet_post(out_.data(), got / int(sizeof(float)));
}

void webworkletdevice::close()
{
    if (!stream_) return;
    kv_worklet_close();
    SDL_FreeAudioStream(stream_);
    stream_ = nullptr;
}

}  // namespace softmix
