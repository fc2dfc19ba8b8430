// The browser test: FLV files that the encoder front-end and flvmdi make as the window runs them,
// served from 127.0.0.1 to headless Chromium, where flv.js plays them through Media Source
// Extensions. H.264 + AAC must play at the frame size chosen; Sorenson Spark + MP3 must get
// flv.js's refusal. Usage: node play_flv.js APP_FOLDER
'use strict';
const {execFileSync, spawn} = require('child_process');
const fs = require('fs'), http = require('http'), os = require('os'), path = require('path');

const flvjs = path.join(__dirname, 'node_modules/flv.js/dist/flv.min.js');
if (!fs.existsSync(flvjs))
  throw new Error(`${flvjs} is missing: scripts/setup.sh installs it (npm ci)`);
const work = fs.mkdtempSync(path.join(os.tmpdir(), 'kestrel-browser-'));
const run = (program, ...args) => execFileSync(program, args,
  {stdio: ['ignore', 'ignore', 'pipe'], env: {...process.env, XDG_CACHE_HOME: work}});
// A 16:9 source: the 4:3 frame size chosen shows only with square pixels.
const source = path.join(work, 'source.mp4');
run('ffmpeg', '-nostdin', '-v', 'error', '-f', 'lavfi', '-i', 'testsrc2=size=1280x720:d=4',
  '-f', 'lavfi', '-i', 'sine=d=4', '-pix_fmt', 'yuv420p', source);

function made(format) {
  const flv = path.join(work, format + '.flv'), h264 = format === 'h264';
  run(path.join(process.argv[2], 'ffmpeg'), '-i', source, '-b', '225kb/s', '-s', '640x480',
    '-r', '24', ...(h264 ? ['-vcodec', 'libx264'] : []), '-ar', '22050Hz', '-ab', '64k', '-ac',
    '1', ...(h264 ? ['-acodec', 'libfaac'] : []), flv);
  run(path.join(process.argv[2], 'flvmdi'), flv);
  return flv;
}

// What the page reports of FLV in a fresh Chromium, which then stops with its helpers.
function play(flv) {
  const files = {'/': path.join(__dirname, 'play.html'), '/flv.min.js': flvjs, '/clip.flv': flv};
  return new Promise(resolve => {
    let browser, body = '';
    const finish = outcome => {
      clearTimeout(timer);
      server.close();
      server.closeAllConnections();
      browser.on('exit', () => resolve(outcome));
      process.kill(-browser.pid, 'SIGKILL');
    };
    const timer = setTimeout(() => finish({error: 'no word from the page within 60 s'}), 60000);
    const server = http.createServer((request, response) => {
      if (request.url === '/outcome')
        return request.on('data', data => (body += data)).on('end', () => finish(JSON.parse(body)));
      if (!files[request.url])
        return response.writeHead(404).end();
      response.writeHead(200, request.url === '/' ? {'Content-Type': 'text/html'} : {});
      fs.createReadStream(files[request.url]).pipe(response);
    }).listen(0, '127.0.0.1', () => {
      browser = spawn('/usr/bin/chromium', ['--headless', '--no-sandbox', '--disable-gpu',
        '--disable-quic', '--no-first-run', '--disable-background-networking',
        '--disable-component-update', '--disable-sync', '--mute-audio',
        '--autoplay-policy=no-user-gesture-required', '--user-data-dir=' + fs.mkdtempSync(work + '/'),
        `http://127.0.0.1:${server.address().port}/`], {detached: true, stdio: 'ignore'});
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
  console.log(`${2 - failed} passed, ${failed} failed`);
  process.exitCode = failed ? 1 : 0;
})();
