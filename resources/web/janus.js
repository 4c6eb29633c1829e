// Watching the broadcast through a Janus server: its streaming plugin relays the mountpoint
// vantorel-web publishes into, so one machine's encode reaches any number of viewers.
//   const watch = window.vantorelJanus.connect(serverUrl, mountpointId, videoElement[, hooks]);
//   watch.close();
// Speaks the server's HTTP API with fetch: create a session, attach the streaming plugin, ask to
// watch the mountpoint, long-poll the session for the event carrying the server's offer, answer
// it (every local candidate inside the answer: no trickle from our side), start, and keep the
// session alive. Whenever any of it fails, or the connection fails, it starts again in 1-2 s.
// hooks (optional): onConnected(true|false), onReconnect().
'use strict';

(function () {
  const kPlugin = 'janus.plugin.streaming';
  const kKeepaliveMs = 25000;  // the server drops a session idle for 60 s
  const kRetryMinMs = 1000;
  const kRetryMaxMs = 2000;
  const kDisconnectedGraceMs = 3000;
  // An answer whose connection is not up by then is given up and the page starts again: a
  // restarted server may take the answer and never connect.
  const kConnectTimeoutMs = 10000;
  const kMaxEventsPerPoll = 10;

  function NewTransaction() {
    return Math.random().toString(36).slice(2, 14);
  }


  // One attempt: a session, a handle, a peer connection. `onLost` runs once when it fails.
  class Attempt {
    constructor(base, mountpointId, video, hooks, onLost) {
      this.base = base;
      this.mountpointId = mountpointId;
      this.video = video;
      this.hooks = hooks;
      this.onLost = onLost;
      this.ended = false;
      this.session = null;
      this.handle = null;
      this.peer = null;
      this.keepaliveTimer = null;
      this.disconnectedTimer = null;
      this.connectTimer = null;
      this.polling = new AbortController();
    }

    // POSTs a request of the API to `path` ('' for the server, then session and handle) and
    // returns the reply; throws when the server refuses or cannot be reached.
    async Request(path, request) {
      request.transaction = NewTransaction();
      const response = await fetch(this.base + path, {
        method: 'POST',
        headers: { 'Content-Type': 'application/json' },
        body: JSON.stringify(request),
      });
      if (!response.ok) throw new Error('Janus answered HTTP ' + response.status);
      const reply = await response.json();
      if (reply.janus === 'error') {
        throw new Error('Janus: ' + (reply.error ? reply.error.reason : 'error'));
      }
      return reply;
    }

    SessionPath() {
      return '/' + this.session;
    }
    HandlePath() {
      return '/' + this.session + '/' + this.handle;
    }

    async Run() {
      this.session = (await this.Request('', { janus: 'create' })).data.id;
      this.keepaliveTimer = setInterval(() => {
        this.Request(this.SessionPath(), { janus: 'keepalive' }).catch((e) => this.Lose(e));
      }, kKeepaliveMs);
      this.handle = (await this.Request(this.SessionPath(), { janus: 'attach', plugin: kPlugin }))
        .data.id;
      this.Poll();
      await this.Request(this.HandlePath(), {
        janus: 'message',
        body: { request: 'watch', id: this.mountpointId },
      });
    }

    // Long-polls the session for events while the attempt lasts.
    async Poll() {
      while (!this.ended) {
        let events;
        try {
          const url = this.base + this.SessionPath() + '?maxev=' + kMaxEventsPerPoll +
                      '&rid=' + Date.now();
          const response = await fetch(url, { signal: this.polling.signal, cache: 'no-store' });
          if (!response.ok) throw new Error('Janus answered HTTP ' + response.status);
          events = await response.json();
        } catch (error) {
          this.Lose(error);
          return;
        }
        for (const event of Array.isArray(events) ? events : [events]) {
          try {
            await this.OnEvent(event);
          } catch (error) {
            this.Lose(error);
            return;
          }
        }
      }
    }

    async OnEvent(event) {
      if (this.ended) return;
      if (event.janus === 'error') throw new Error('Janus: ' + event.error.reason);
      if (event.janus === 'hangup' || event.janus === 'detached') {
        throw new Error('Janus ended the stream (' + (event.reason || event.janus) + ')');
      }
      if (event.janus === 'trickle' && this.peer && event.candidate) {
        const c = event.candidate;
        if (!c.completed) await this.peer.addIceCandidate(c).catch(() => {});
        return;
      }
      if (event.janus !== 'event') return;  // keepalive, webrtcup, media, slowlink...
      const data = event.plugindata ? event.plugindata.data : null;
      if (data && data.error_code) {
        throw new Error('mountpoint ' + this.mountpointId + ': ' + data.error);
      }
      if (data && data.result && data.result.status === 'stopped') {
        throw new Error('mountpoint ' + this.mountpointId + ' stopped');
      }
      if (event.jsep && event.jsep.type === 'offer') await this.Answer(event.jsep);
    }

    async Answer(offer) {
      if (this.peer) this.peer.close();
      const connection = new RTCPeerConnection();
      this.peer = connection;
      const stream = new MediaStream();
      connection.ontrack = (event) => {
        stream.addTrack(event.track);
        if (this.video.srcObject !== stream) this.video.srcObject = stream;
        this.video.play().catch(() => {});
      };
      connection.onconnectionstatechange = () => this.OnConnectionState(connection);
      clearTimeout(this.connectTimer);
      this.connectTimer = setTimeout(() => {
        if (connection === this.peer && connection.connectionState !== 'connected') {
          this.Lose(new Error('the connection did not come up'));
        }
      }, kConnectTimeoutMs);
      await connection.setRemoteDescription({ type: offer.type, sdp: offer.sdp });
      await connection.setLocalDescription(await connection.createAnswer());
      await window.vantorelWaitForGathering(connection);
      if (this.ended) return;
      const answer = { type: 'answer', sdp: connection.localDescription.sdp, trickle: false };
      await this.Request(this.HandlePath(), {
        janus: 'message',
        body: { request: 'start' },
        jsep: answer,
      });
    }

    OnConnectionState(connection) {
      if (connection !== this.peer || this.ended) return;
      const state = connection.connectionState;
      if (state === 'connected') {
        clearTimeout(this.disconnectedTimer);
        clearTimeout(this.connectTimer);
        this.disconnectedTimer = null;
        if (this.hooks.onConnected) this.hooks.onConnected(true);
      } else if (state === 'disconnected') {
        if (this.hooks.onConnected) this.hooks.onConnected(false);
        if (!this.disconnectedTimer) {
          this.disconnectedTimer = setTimeout(() => {
            if (connection.connectionState === 'disconnected') {
              this.Lose(new Error('the connection stayed disconnected'));
            }
          }, kDisconnectedGraceMs);
        }
      } else if (state === 'failed' || state === 'closed') {
        this.Lose(new Error('the connection ' + state));
      }
    }

    // Ends the attempt because of `error` and tells the owner, once.
    Lose(error) {
      if (this.ended) return;
      console.warn('vantorel janus: ' + (error && error.message ? error.message : error));
      this.End();
      this.onLost();
    }

    // Ends the attempt and lets the server go of its session, without waiting for the reply.
    End() {
      if (this.ended) return;
      this.ended = true;
      clearInterval(this.keepaliveTimer);
      clearTimeout(this.disconnectedTimer);
      clearTimeout(this.connectTimer);
      this.polling.abort();
      if (this.peer) this.peer.close();
      this.peer = null;
      if (this.hooks.onConnected) this.hooks.onConnected(false);
      if (this.session !== null) {
        fetch(this.base + this.SessionPath(), {
          method: 'POST',
          headers: { 'Content-Type': 'application/json' },
          body: JSON.stringify({ janus: 'destroy', transaction: NewTransaction() }),
          keepalive: true,
        }).catch(() => {});
      }
    }
  }

  function connect(serverUrl, mountpointId, video, hooks) {
    const base = String(serverUrl).replace(/\/+$/, '');
    const id = Number(mountpointId);
    hooks = hooks || {};
    let attempt = null;
    let retryTimer = null;
    let closed = false;

    function Begin() {
      retryTimer = null;
      if (closed) return;
      const current = new Attempt(base, id, video, hooks, Retry);
      attempt = current;
      current.Run().catch((error) => current.Lose(error));
    }

    function Retry() {
      if (closed || retryTimer) return;
      if (hooks.onReconnect) hooks.onReconnect();
      retryTimer = setTimeout(Begin, kRetryMinMs + Math.random() * (kRetryMaxMs - kRetryMinMs));
    }

    window.addEventListener('pagehide', () => attempt && attempt.End());
    Begin();
    return {
      close() {
        closed = true;
        clearTimeout(retryTimer);
        if (attempt) attempt.End();
        attempt = null;
      },
    };
  }

  window.vantorelJanus = { connect };
})();
