#include "sender/graph_player.h"

namespace vantorel::sender {

GraphPlayer::GraphPlayer(std::unique_ptr<sender::GraphFactory> factory)
    : factory_(std::move(factory)) {}

// A derived class closes in its own destructor, while its hooks still exist; this one only
// releases what is left.
GraphPlayer::~GraphPlayer() {
  Close();
}

HRESULT GraphPlayer::Open(gui::Mailbox<sender::GraphNotice>* owner, const std::string& path) {
  if (owner == nullptr || path.empty()) return E_FAIL;
  return Build(owner, false, [&path](sender::MediaGraph& graph) { return graph.RenderFile(path); });
}

HRESULT GraphPlayer::OpenLive(gui::Mailbox<sender::GraphNotice>* owner,
                              const sender::LiveSource& source) {
  if (owner == nullptr || !sender::HasStream(source)) return E_FAIL;
  return Build(owner, true,
               [&source](sender::MediaGraph& graph) { return graph.RenderLive(source); });
}

template <typename RenderInto>
HRESULT GraphPlayer::Build(gui::Mailbox<sender::GraphNotice>* owner, bool live, RenderInto render) {
  graph_.reset();
  creationResult_ = E_FAIL;
  findings_ = {};
  ResetPlayback();
  OnReset();

  graph_ = factory_ ? factory_->CreateGraph() : nullptr;
  if (!graph_) return E_FAIL;
  creationResult_ = S_OK;

  owner_ = owner;
  live_ = live;
  HRESULT hr = OnBuild(*graph_);
  sender::Status rendered;
  if (SUCCEEDED(hr)) rendered = render(*graph_);
  if (SUCCEEDED(hr) && rendered.ok()) rendered = graph_->SetNotifyWindow(owner);
  if (SUCCEEDED(hr)) hr = sender::ToHresult(rendered);
  findings_ = graph_->Findings();
  // GStreamer's words for the failure stay readable after the graph is gone.
  if (findings_.errorText.empty()) findings_.errorText = rendered.message();
  if (FAILED(hr)) {
    CloseGraph();
    ReleaseGraph();
    return hr;
  }
  state_ = PlayerState::kStopped;
  loaded_ = true;
  return hr;
}

void GraphPlayer::ResetPlayback() {
  owner_ = nullptr;
  videoRect_ = {};
  state_ = PlayerState::kNoGraph;
  loaded_ = false;
  live_ = false;
  resumeStartsSegment_ = false;
  events_ = {};
}

void GraphPlayer::CloseGraph() {
  graph_->Stop();
  state_ = PlayerState::kStopped;
  graph_->SetNotifyWindow(nullptr);
  OnTeardown(*graph_);
  ResetPlayback();
  OnReset();
}

void GraphPlayer::ReleaseGraph() {
  graph_.reset();
  creationResult_ = E_FAIL;
}

void GraphPlayer::Close() {
  if (SUCCEEDED(creationResult_) && graph_) CloseGraph();
  ReleaseGraph();
}

void GraphPlayer::SetVideoRect(int left, int top, int width, int height) {
  videoRect_ = {left, top, width, height};
}

void GraphPlayer::SetMicrophoneMuted(bool muted) {
  if (graph_) graph_->SetMicrophoneMuted(muted);
}

double GraphPlayer::Duration() {
  double seconds = 0;
  if (!graph_ || live_ || !graph_->GetDuration(seconds).ok()) return 0;
  return seconds;
}

double GraphPlayer::Position() {
  double seconds = 0;
  if (!loaded_ || !graph_->GetCurrentPosition(seconds).ok()) return 0;
  return seconds;
}

HRESULT GraphPlayer::Play() {
  if (!loaded_ || state_ == PlayerState::kRunning) return S_OK;
  if (live_) {
    if (resumeStartsSegment_) OnLiveResume();
    const HRESULT hr = sender::ToHresult(graph_->Run());
    if (SUCCEEDED(hr)) state_ = PlayerState::kRunning;
    return hr;
  }
  double duration = 0;
  double position = 0;
  if (graph_->GetDuration(duration).ok() && graph_->GetCurrentPosition(position).ok() &&
      duration - position < kRestartMargin) {
    graph_->PutCurrentPosition(0);
  }
  // Seeking to where the graph stands makes every stream start a new segment, so the
  // grabbers announce it before the samples that follow.
  if (graph_->GetCurrentPosition(position).ok()) graph_->PutCurrentPosition(position);
  const HRESULT hr = sender::ToHresult(graph_->Run());
  if (SUCCEEDED(hr)) state_ = PlayerState::kRunning;
  return hr;
}

HRESULT GraphPlayer::Pause() {
  if (!loaded_ || state_ == PlayerState::kPaused) return S_OK;
  const HRESULT hr = sender::ToHresult(graph_->Pause());
  if (SUCCEEDED(hr)) {
    resumeStartsSegment_ = live_;
    state_ = PlayerState::kPaused;
  }
  return hr;
}

HRESULT GraphPlayer::Stop() {
  if (!loaded_ || state_ == PlayerState::kStopped) return S_OK;
  if (live_) {
    // A live source has no start to go back to: stopping holds it, as a pause does.
    const HRESULT hr = sender::ToHresult(graph_->Pause());
    if (SUCCEEDED(hr)) {
      resumeStartsSegment_ = true;
      state_ = PlayerState::kStopped;
    }
    return hr;
  }
  if (state_ == PlayerState::kPaused) graph_->Run();
  HRESULT hr = sender::ToHresult(graph_->PutCurrentPosition(0));
  if (FAILED(hr)) return hr;
  hr = sender::ToHresult(graph_->Pause());
  if (SUCCEEDED(hr)) state_ = PlayerState::kStopped;
  return hr;
}

HRESULT GraphPlayer::Seek(double seconds) {
  if (!loaded_ || live_) return E_FAIL;
  if (Duration() > seconds) return sender::ToHresult(graph_->PutCurrentPosition(seconds));
  return S_OK;
}

HRESULT GraphPlayer::HandleGraphEvents() {
  HRESULT result = S_OK;
  if (!graph_) return result;
  while (const auto event = graph_->GetEvent()) {
    if (event->code == sender::EC_COMPLETE) {
      ++events_.completes;
      result = OnComplete();
      if (FAILED(result)) return result;
    } else if (event->code == sender::EC_ERRORABORT) {
      ++events_.errors;
      events_.lastError = sender::ToHresult(event->param);
      events_.lastErrorText = event->param.message();
    } else if (event->code == sender::EC_NO_AUDIO_DEVICE) {
      events_.noAudioDevice = true;
    }
  }
  return result;
}

// The end of the stream leaves the graph paused just before the end, so that the next Play
// starts again from the beginning.
HRESULT GraphPlayer::OnComplete() {
  double position = 0;
  if (graph_->GetCurrentPosition(position).ok()) {
    graph_->PutCurrentPosition(position - kEndRestBack);
  }
  HRESULT hr = sender::ToHresult(graph_->Pause());
  if (SUCCEEDED(hr)) {
    state_ = PlayerState::kStopped;
    return hr;
  }
  hr = sender::ToHresult(graph_->Stop());
  if (FAILED(hr)) return hr;
  hr = sender::ToHresult(graph_->Run());
  if (FAILED(hr)) return hr;
  state_ = PlayerState::kRunning;
  return hr;
}

}  // namespace vantorel::sender
