// The browser test: FLV files made by the program's encoder front-end and
// metadata injector, served from 127.0.0.1 to headless Chromium, where flv.js
// plays them through Media Source Extensions. H.264 + AAC must play at the
// frame size chosen; Sorenson Spark + MP3 must get flv.js's refusal.
// Usage: node play_flv.js APP_FOLDER
'use strict';
const {execFileSync, spawn} = require('child_process');
const fs = require('fs');
const http = require('http');
const os = require('os');
const path = require('path');

const app = process.argv[2];
const flvjs = path.join(__dirname, 'node_modules/flv.js/dist/flv.min.js');
if (!fs.existsSync(flvjs)) {
  console.error(`${flvjs} is missing: scripts/setup.sh installs it (npm ci)`);
  process.exit(1);
}
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'kestrel-browser-'));
// Programs say nothing unless they fail; the encoder front-end's cache goes to WORK.
const run = (program, args) => execFileSync(program, args, {
  stdio: ['ignore', 'ignore', 'pipe'], env: {...process.env, XDG_CACHE_HOME: work},
});

// A 16:9 source: the 4:3 frame size chosen shows only with square pixels.
const source = path.join(work, 'source.mp4');
run('ffmpeg', ['-nostdin', '-v', 'error', '-f', 'lavfi', '-i', 'testsrc2=size=1280x720:rate=25:d=4',
               '-f', 'lavfi', '-i', 'sine=d=4', '-pix_fmt', 'yuv420p', source]);

// The encode and the injection as the window runs them.
function made(format) {
  const flv = path.join(work, format + '.flv');
  const codec = (option, name) => (format === 'h264' ? [option, name] : []);
  run(path.join(app, 'ffmpeg'), ['-i', source, '-b', '225kb/s', '-s', '640x480', '-r', '24',
    ...codec('-vcodec', 'libx264'), '-ar', '22050Hz', '-ab', '64k', '-ac', '1',
    ...codec('-acodec', 'libfaac'), flv]);
  run(path.join(app, 'flvmdi'), [flv]);
  return flv;
}

// What the page reports after opening FLV in a fresh Chromium.
function play(flv) {
  const files = {
    '/': [path.join(__dirname, 'play.html'), 'text/html'],
    '/flv.min.js': [flvjs, 'text/javascript'],
    '/clip.flv': [flv, 'video/x-flv'],
  };
  return new Promise(resolve => {
    let browser = null;
    const server = http.createServer((request, response) => {
      if (request.method === 'POST' && request.url === '/outcome') {
        let body = '';
        request.on('data', chunk => (body += chunk));
        request.on('end', () => finish(JSON.parse(body)));
        return response.end();
      }
      const file = files[request.url];
      if (!file)
        return response.writeHead(404).end();
      response.writeHead(200, {'Content-Type': file[1]});
      fs.createReadStream(file[0]).pipe(response);
    });
    const timer = setTimeout(() => finish({error: 'no word from the page within 60 s'}), 60000);
    function finish(outcome) {
      clearTimeout(timer);
      if (browser && browser.exitCode === null) {
        process.kill(-browser.pid, 'SIGKILL'); // Chromium and its helpers, started by us
        browser.on('exit', () => resolve(outcome));
      } else {
        resolve(outcome);
      }
      server.close();
      server.closeAllConnections();
    }
    server.listen(0, '127.0.0.1', () => {
      const profile = fs.mkdtempSync(path.join(work, 'profile-'));
      browser = spawn('/usr/bin/chromium', [
        '--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
        '--disable-background-networking', '--disable-component-update', '--disable-sync',
        '--mute-audio', '--autoplay-policy=no-user-gesture-required',
        '--user-data-dir=' + profile, `http://127.0.0.1:${server.address().port}/`,
      ], {detached: true, stdio: 'ignore'});
      browser.on('error', error => finish({error: 'Chromium: ' + error.message}));
    });
  });
}

const expected = {
  h264: o => !o.error && o.time > 1 && o.width === 640 && o.height === 480,
  sorenson: o => /Unsupported codec in video frame: 2/.test(o.error),
};
(async () => {
  let failed = 0;
  for (const [format, good] of Object.entries(expected)) {
    const outcome = await play(made(format));
    console.log(`${good(outcome) ? 'ok' : 'FAILED'}: ${format}: ${JSON.stringify(outcome)}`);
    failed += good(outcome) ? 0 : 1;
  }
  fs.rmSync(work, {recursive: true, force: true});
  console.log(`${Object.keys(expected).length - failed} passed, ${failed} failed`);
  process.exitCode = failed ? 1 : 0;
})();
