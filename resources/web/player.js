// The viewer page: receives the broadcast over WebRTC from the server that served the page
// (WHEP: one POST of the offer, the answer with every candidate in it), shows the state of the
// broadcast over the picture, and connects again by itself whenever the connection is lost.
'use strict';

(function () {
  const kStatusPeriodMs = 1000;
  const kStatusTimeoutMs = 2500;
  const kRetryMinMs = 1000;
  const kRetryMaxMs = 2000;
  const kGatheringTimeoutMs = 2000;
  const kDisconnectedGraceMs = 3000;
  const kFrameLogLength = 600;
  const kReasonMaxLength = 300;
  const kConnectingText = 'Connecting...';

  const video = document.getElementById('video');
  const player = document.getElementById('player');
  const statusLine = document.getElementById('status');
  const senderLine = document.getElementById('sender');
  const unmuteButton = document.getElementById('unmute');
  const fullscreenButton = document.getElementById('fullscreen');
  const shareToggle = document.getElementById('share-toggle');
  const share = document.getElementById('share');
  const shareBody = document.getElementById('share-body');
  const address = document.getElementById('address');

  // What tests and the delay bench read. `frames` keeps the last kFrameLogLength presented frames.
  const vantorel = {
    state: '',         // the server's state of the broadcast, '' until /status answered
    text: kConnectingText,  // what the status line shows ('' when nothing)
    connected: false,  // the peer connection is up
    reconnects: 0,     // connections started again after a failure
    firstFrameAt: null,  // performance.now() when the first frame was presented
    frames: [],
    via: 'whep',       // or 'janus'
  };
  window.vantorel = vantorel;
  // janus.js waits for the candidates the same way.
  window.vantorelWaitForGathering = WaitForGathering;

  let statusReply = null;  // the last /status reply, null while /status fails
  let refusal = '';        // why the server refused the last offer (503), shown over the state

  // ---- The status line.

  function ShowStatus() {
    let text;
    if (refusal) {
      text = refusal;
    } else if (!statusReply) {
      text = kConnectingText;
    } else if (statusReply.text) {
      text = statusReply.text;
    } else {
      text = vantorel.connected || vantorel.via !== 'whep' ? '' : kConnectingText;
    }
    vantorel.text = text;
    if (statusLine.textContent !== text) statusLine.textContent = text;
    statusLine.hidden = text === '';
    const sender = statusReply && statusReply.sender ? statusReply.sender : '';
    senderLine.textContent = sender;
    document.title = sender ? sender + ' - Vantorel' : 'Vantorel';
    if (statusReply && typeof statusReply.url === 'string' && statusReply.url) {
      ShowAddress(statusReply.url);
    }
  }

  async function PollStatus() {
    const abort = new AbortController();
    const timer = setTimeout(() => abort.abort(), kStatusTimeoutMs);
    try {
      const response = await fetch('/status', { cache: 'no-store', signal: abort.signal });
      if (!response.ok) throw new Error('status ' + response.status);
      statusReply = await response.json();
      vantorel.state = String(statusReply.state || '');
      MaybeUseJanus();
    } catch (error) {
      statusReply = null;
    } finally {
      clearTimeout(timer);
    }
    ShowStatus();
    if (!started && (statusReply || statusFailures++ > 2)) Start();
    setTimeout(PollStatus, kStatusPeriodMs);
  }

  // ---- Receiving over WHEP.

  let peer = null;          // the current peer connection
  let resource = null;      // its WHEP resource's address, once the server made one
  let retryTimer = null;
  let disconnectedTimer = null;

  function WaitForGathering(connection) {
    if (connection.iceGatheringState === 'complete') return Promise.resolve();
    return new Promise((resolve) => {
      const timer = setTimeout(done, kGatheringTimeoutMs);
      function done() {
        clearTimeout(timer);
        connection.removeEventListener('icegatheringstatechange', check);
        resolve();
      }
      function check() {
        if (connection.iceGatheringState === 'complete') done();
      }
      connection.addEventListener('icegatheringstatechange', check);
    });
  }

  // The sentence of an HTML refusal, as plain text.
  function ReasonOf(html) {
    const text = new DOMParser().parseFromString(html, 'text/html').body.textContent || '';
    return text.replace(/\s+/g, ' ').trim().slice(0, kReasonMaxLength);
  }

  async function Connect() {
    retryTimer = null;
    const connection = new RTCPeerConnection();
    peer = connection;
    const stream = new MediaStream();
    connection.addTransceiver('video', { direction: 'recvonly' });
    connection.addTransceiver('audio', { direction: 'recvonly' });
    connection.ontrack = (event) => {
      if (connection !== peer) return;
      stream.addTrack(event.track);
      if (video.srcObject !== stream) video.srcObject = stream;
      video.play().catch(() => {});
    };
    connection.onconnectionstatechange = () => OnConnectionState(connection);
    try {
      await connection.setLocalDescription(await connection.createOffer());
      await WaitForGathering(connection);
      if (connection !== peer) return;
      const response = await fetch('/whep', {
        method: 'POST',
        headers: { 'Content-Type': 'application/sdp' },
        body: connection.localDescription.sdp,
      }).catch((error) => {
        refusal = '';  // the server is gone: whatever it said before no longer holds
        throw error;
      });
      if (connection !== peer) return;
      if (response.status !== 201) {
        refusal = response.status === 503 ? ReasonOf(await response.text()) : '';
        throw new Error('the server answered ' + response.status);
      }
      refusal = '';
      const location = response.headers.get('Location');
      if (location) resource = new URL(location, response.url).href;
      const answer = await response.text();
      await connection.setRemoteDescription({ type: 'answer', sdp: answer });
    } catch (error) {
      console.warn('vantorel: ' + error.message);
      Retry(connection);
    }
    ShowStatus();
  }

  function OnConnectionState(connection) {
    if (connection !== peer) return;
    const state = connection.connectionState;
    if (state === 'connected') {
      clearTimeout(disconnectedTimer);
      disconnectedTimer = null;
      vantorel.connected = true;
    } else if (state === 'disconnected') {
      vantorel.connected = false;
      if (!disconnectedTimer) {
        disconnectedTimer = setTimeout(() => {
          disconnectedTimer = null;
          if (connection === peer && connection.connectionState === 'disconnected') {
            Retry(connection);
          }
        }, kDisconnectedGraceMs);
      }
    } else if (state === 'failed' || state === 'closed') {
      Retry(connection);
    }
    ShowStatus();
  }

  // Lets the server go of the current resource, without waiting for its reply.
  function Release(keepalive) {
    if (!resource) return;
    fetch(resource, { method: 'DELETE', keepalive: keepalive }).catch(() => {});
    resource = null;
  }

  // Drops `connection` (when it is still the current one) and starts a fresh one in 1-2 s.
  function Retry(connection) {
    if (connection !== peer || retryTimer) return;
    clearTimeout(disconnectedTimer);
    disconnectedTimer = null;
    vantorel.connected = false;
    Release(false);
    connection.close();
    peer = null;
    vantorel.reconnects += 1;
    retryTimer = setTimeout(Connect, kRetryMinMs + Math.random() * (kRetryMaxMs - kRetryMinMs));
    ShowStatus();
  }

  window.addEventListener('pagehide', () => Release(true));

  // ---- Receiving through a Janus server instead, when the page asks for it and one is set.

  let janusSession = null;
  let statusFailures = 0;
  let started = false;
  const wantsJanus = new URLSearchParams(window.location.search).get('via') === 'janus';

  function MaybeUseJanus() {
    if (janusSession || !wantsJanus || !statusReply || !statusReply.janus) return false;
    const janus = window.vantorelJanus;
    if (!janus || typeof janus.connect !== 'function') return false;
    janusSession = janus.connect(statusReply.janus, statusReply.mountpoint, video);
    vantorel.via = 'janus';
    return true;
  }

  // With ?via=janus the first /status reply (or its failures) decides how to receive.
  function Start() {
    started = true;
    if (janusSession) return;
    Connect();
  }

  // ---- Frames, for tests and the delay bench.

  function OnFrame(now, metadata) {
    if (vantorel.firstFrameAt === null) vantorel.firstFrameAt = performance.now();
    vantorel.frames.push({
      expectedDisplayTime: metadata.expectedDisplayTime,
      presentationTime: metadata.presentationTime,
      rtpTimestamp: metadata.rtpTimestamp,
      receiveTime: metadata.receiveTime,
      mediaTime: metadata.mediaTime,
      presentedFrames: metadata.presentedFrames,
    });
    if (vantorel.frames.length > kFrameLogLength) {
      vantorel.frames.splice(0, vantorel.frames.length - kFrameLogLength);
    }
    video.requestVideoFrameCallback(OnFrame);
  }
  if ('requestVideoFrameCallback' in HTMLVideoElement.prototype) {
    video.requestVideoFrameCallback(OnFrame);
  } else {
    video.addEventListener('playing', () => {
      if (vantorel.firstFrameAt === null) vantorel.firstFrameAt = performance.now();
    });
  }

  // ---- Buttons and the code for other devices.

  function ShowMuted() {
    unmuteButton.textContent = video.muted ? 'Unmute' : 'Mute';
  }
  unmuteButton.addEventListener('click', () => {
    video.muted = !video.muted;
    video.play().catch(() => {});
    ShowMuted();
  });
  video.addEventListener('volumechange', ShowMuted);

  function FullscreenElement() {
    return document.fullscreenElement || document.webkitFullscreenElement || null;
  }
  fullscreenButton.addEventListener('click', () => {
    if (FullscreenElement()) {
      (document.exitFullscreen || document.webkitExitFullscreen).call(document);
    } else if (player.requestFullscreen) {
      player.requestFullscreen().catch(() => {});
    } else if (player.webkitRequestFullscreen) {
      player.webkitRequestFullscreen();
    } else if (video.webkitEnterFullscreen) {
      video.webkitEnterFullscreen();  // phones that put only a video in full screen
    }
  });
  function ShowFullscreen() {
    fullscreenButton.textContent = FullscreenElement() ? 'Exit full screen' : 'Full screen';
  }
  document.addEventListener('fullscreenchange', ShowFullscreen);
  document.addEventListener('webkitfullscreenchange', ShowFullscreen);

  function ShowAddress(url) {
    if (address.textContent !== url) {
      address.textContent = url;
      address.href = url;
    }
  }
  ShowAddress(window.location.origin + '/');

  function ShowShare(visible) {
    shareBody.hidden = !visible;
    share.classList.toggle('collapsed', !visible);
    shareToggle.textContent = visible ? 'Hide code' : 'Show code';
    shareToggle.setAttribute('aria-expanded', String(visible));
  }
  function Remembered(key) {
    try {
      return window.localStorage.getItem(key);
    } catch (error) {
      return null;  // storage refused (private window): nothing remembered
    }
  }
  function Remember(key, value) {
    try {
      window.localStorage.setItem(key, value);
    } catch (error) {
      // not remembered
    }
  }
  shareToggle.addEventListener('click', () => {
    const visible = shareBody.hidden;
    ShowShare(visible);
    Remember('vantorel.share', visible ? 'shown' : 'hidden');
  });
  ShowShare(Remembered('vantorel.share') !== 'hidden');

  ShowMuted();
  ShowStatus();
  if (!wantsJanus) Start();
  PollStatus();
})();
