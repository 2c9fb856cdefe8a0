// The game's sounds: PCM, one channel, 11025 samples a second, 8 bits.
export const RATE = 11025;

// The samples of a .WAV of that format (the server's or one made here).
export function wavSamples(bytes) {
  const view = new DataView(bytes.buffer, bytes.byteOffset, bytes.byteLength);
  for (let at = 12; at + 8 <= bytes.length;) {
    const size = view.getUint32(at + 4, true);
    if (String.fromCharCode(...bytes.subarray(at, at + 4)) === 'data') return bytes.subarray(at + 8, at + 8 + size);
    at += 8 + size + (size & 1);
  }
  return new Uint8Array(0);
}

export function wavFile(samples) {
  const bytes = new Uint8Array(44 + samples.length);
  const view = new DataView(bytes.buffer);
  const text = (at, s) => [...s].forEach((c, i) => { bytes[at + i] = c.charCodeAt(0); });
  text(0, 'RIFF'); view.setUint32(4, 36 + samples.length, true); text(8, 'WAVE');
  text(12, 'fmt '); view.setUint32(16, 16, true); view.setUint16(20, 1, true); view.setUint16(22, 1, true);
  view.setUint32(24, RATE, true); view.setUint32(28, RATE, true); view.setUint16(32, 1, true); view.setUint16(34, 8, true);
  text(36, 'data'); view.setUint32(40, samples.length, true);
  bytes.set(samples, 44);
  return bytes;
}

// Any audio the browser decodes, made into the game's format by the browser's
// own engine: decoding into an 11025 Hz context resamples, rendering into one
// channel mixes down; then each sample is rounded to 8 bits.
export async function convertAudio(fileBytes) {
  const decoder = new OfflineAudioContext(1, 1, RATE);
  const decoded = await decoder.decodeAudioData(fileBytes.buffer.slice(fileBytes.byteOffset, fileBytes.byteOffset + fileBytes.byteLength));
  const mixer = new OfflineAudioContext(1, decoded.length, RATE);
  const source = mixer.createBufferSource();
  source.buffer = decoded;
  source.connect(mixer.destination);
  source.start();
  const mono = (await mixer.startRendering()).getChannelData(0);
  const samples = new Uint8Array(mono.length);
  for (let i = 0; i < mono.length; i++) samples[i] = Math.min(255, Math.max(0, Math.round((mono[i] + 1) * 127.5)));
  return {samples, wav: wavFile(samples), channels: decoded.numberOfChannels};
}

export function seconds(samples) {
  return (samples / RATE).toFixed(3) + ' s';
}

// Each column shows the lowest and highest sample it covers.
export function drawWaveform(canvas, samples) {
  const width = canvas.width = canvas.clientWidth || 400;
  const height = canvas.height = canvas.clientHeight || 80;
  const g = canvas.getContext('2d');
  g.clearRect(0, 0, width, height);
  g.fillStyle = '#2a6fdb';
  if (samples.length === 0) return;
  for (let x = 0; x < width; x++) {
    const from = Math.floor(x * samples.length / width);
    const to = Math.max(from + 1, Math.floor((x + 1) * samples.length / width));
    let low = 255, high = 0;
    for (let i = from; i < to && i < samples.length; i++) {
      low = Math.min(low, samples[i]);
      high = Math.max(high, samples[i]);
    }
    const top = (255 - high) * (height - 1) / 255;
    const bottom = (255 - low) * (height - 1) / 255;
    g.fillRect(x, top, 1, Math.max(1, bottom - top));
  }
}
