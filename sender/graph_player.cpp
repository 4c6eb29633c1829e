#include "sender/graph_player.h"

namespace vantorel::sender {

GraphPlayer::GraphPlayer(std::unique_ptr<media::GraphFactory> factory)
    : factory_(std::move(factory)) {}

// A derived class closes in its own destructor, while its hooks still exist; this one only
// releases what is left.
GraphPlayer::~GraphPlayer() {
  Close();
}

HRESULT GraphPlayer::Open(gui::WindowHandle* owner, const std::string& path) {
  if (owner == nullptr || path.empty()) return E_FAIL;
  return Build(owner, false, [&path](media::MediaGraph& graph) { return graph.RenderFile(path); });
}

HRESULT GraphPlayer::OpenLive(gui::WindowHandle* owner, const media::LiveSource& source) {
  if (owner == nullptr || !media::HasStream(source)) return E_FAIL;
  return Build(owner, true,
               [&source](media::MediaGraph& graph) { return graph.RenderLive(source); });
}

template <typename RenderInto>
HRESULT GraphPlayer::Build(gui::WindowHandle* owner, bool live, RenderInto render) {
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
  if (SUCCEEDED(hr)) hr = render(*graph_);
  if (SUCCEEDED(hr)) hr = graph_->SetNotifyWindow(owner);
  findings_ = graph_->Findings();
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
  if (!graph_ || live_ || FAILED(graph_->GetDuration(seconds))) return 0;
  return seconds;
}

double GraphPlayer::Position() {
  double seconds = 0;
  if (!loaded_ || FAILED(graph_->GetCurrentPosition(seconds))) return 0;
  return seconds;
}

HRESULT GraphPlayer::Play() {
  if (!loaded_ || state_ == PlayerState::kRunning) return S_OK;
  if (live_) {
    if (resumeStartsSegment_) OnLiveResume();
    const HRESULT hr = graph_->Run();
    if (SUCCEEDED(hr)) state_ = PlayerState::kRunning;
    return hr;
  }
  double duration = 0;
  double position = 0;
  if (SUCCEEDED(graph_->GetDuration(duration)) && SUCCEEDED(graph_->GetCurrentPosition(position)) &&
      duration - position < kRestartMargin) {
    graph_->PutCurrentPosition(0);
  }
  // Seeking to where the graph stands makes every stream start a new segment, so the
  // grabbers announce it before the samples that follow.
  if (SUCCEEDED(graph_->GetCurrentPosition(position))) graph_->PutCurrentPosition(position);
  const HRESULT hr = graph_->Run();
  if (SUCCEEDED(hr)) state_ = PlayerState::kRunning;
  return hr;
}

HRESULT GraphPlayer::Pause() {
  if (!loaded_ || state_ == PlayerState::kPaused) return S_OK;
  const HRESULT hr = graph_->Pause();
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
    const HRESULT hr = graph_->Pause();
    if (SUCCEEDED(hr)) {
      resumeStartsSegment_ = true;
      state_ = PlayerState::kStopped;
    }
    return hr;
  }
  if (state_ == PlayerState::kPaused) graph_->Run();
  HRESULT hr = graph_->PutCurrentPosition(0);
  if (FAILED(hr)) return hr;
  hr = graph_->Pause();
  if (SUCCEEDED(hr)) state_ = PlayerState::kStopped;
  return hr;
}

HRESULT GraphPlayer::Seek(double seconds) {
  if (!loaded_ || live_) return E_FAIL;
  if (Duration() > seconds) return graph_->PutCurrentPosition(seconds);
  return S_OK;
}

HRESULT GraphPlayer::HandleGraphEvents() {
  HRESULT result = S_OK;
  if (!graph_) return result;
  while (const auto event = graph_->GetEvent()) {
    if (event->code == media::EC_COMPLETE) {
      ++events_.completes;
      result = OnComplete();
      if (FAILED(result)) return result;
    } else if (event->code == media::EC_ERRORABORT) {
      ++events_.errors;
      events_.lastError = event->param;
      events_.lastErrorText = event->text;
    } else if (event->code == media::EC_NO_AUDIO_DEVICE) {
      events_.noAudioDevice = true;
    }
  }
  return result;
}

// The end of the stream leaves the graph paused just before the end, so that the next Play
// starts again from the beginning.
HRESULT GraphPlayer::OnComplete() {
  double position = 0;
  if (SUCCEEDED(graph_->GetCurrentPosition(position))) {
    graph_->PutCurrentPosition(position - kEndRestBack);
  }
  HRESULT hr = graph_->Pause();
  if (SUCCEEDED(hr)) {
    state_ = PlayerState::kStopped;
    return hr;
  }
  hr = graph_->Stop();
  if (FAILED(hr)) return hr;
  hr = graph_->Run();
  if (FAILED(hr)) return hr;
  state_ = PlayerState::kRunning;
  return hr;
}

}  // namespace vantorel::sender
