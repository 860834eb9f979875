// Windows: WASAPI shared mode on the default endpoint (or one named), else the WinMM wave
// mapper (or a device named). Each output runs a thread of its own that opens the device, so
// that COM is used on the thread that owns it.
#if defined(_WIN32)

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// clang-format off
#include <initguid.h>
#include <audioclient.h>
#include <mmdeviceapi.h>
#include <functiondiscoverykeys_devpkey.h>
#include <mmsystem.h>
#include <avrt.h>
// clang-format on

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <future>
#include <thread>
#include <vector>

#include "audioOutput.h"
#include "synthProcess.h"

namespace korvo {

namespace {

constexpr int kDefaultRate = 48000;
constexpr int kDefaultBlock = 256;
// KSDATAFORMAT_SUBTYPE_IEEE_FLOAT, which mingw-w64 leaves to a library it does not ship.
constexpr GUID kFloatSubtype{0x00000003, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xaa, 0x00, 0x38, 0x9b, 0x71}};

std::string narrow(const wchar_t* w) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, w, -1, nullptr, 0, nullptr, nullptr);
  std::string s(static_cast<std::size_t>(n > 0 ? n : 1), '\0');
  if (n > 0) WideCharToMultiByte(CP_UTF8, 0, w, -1, s.data(), n, nullptr, nullptr);
  s.resize(s.size() - 1);
  return s;
}

template <class T>
void release(T*& p) {
  if (p) p->Release();
  p = nullptr;
}

std::string hresultText(HRESULT hr) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%08lX", static_cast<unsigned long>(hr));
  return text;
}

// Endpoints by friendly name, each with its id.
std::vector<std::pair<std::string, std::wstring>> endpoints(IMMDeviceEnumerator* e) {
  std::vector<std::pair<std::string, std::wstring>> list;
  IMMDeviceCollection* all = nullptr;
  if (FAILED(e->EnumAudioEndpoints(eRender, DEVICE_STATE_ACTIVE, &all))) return list;
  UINT count = 0;
  all->GetCount(&count);
  for (UINT i = 0; i < count; ++i) {
    IMMDevice* d = nullptr;
    IPropertyStore* props = nullptr;
    LPWSTR id = nullptr;
    PROPVARIANT name;
    PropVariantInit(&name);
    if (SUCCEEDED(all->Item(i, &d)) && SUCCEEDED(d->GetId(&id)) && SUCCEEDED(d->OpenPropertyStore(STGM_READ, &props)) &&
        SUCCEEDED(props->GetValue(PKEY_Device_FriendlyName, &name)) && name.vt == VT_LPWSTR)
      list.emplace_back(narrow(name.pwszVal), id);
    PropVariantClear(&name);
    if (id) CoTaskMemFree(id);
    release(props);
    release(d);
  }
  release(all);
  return list;
}

class WasapiOutput : public AudioOutput {
 public:
  // Opens on the output's own thread; `ok()` and `why()` tell how it went.
  WasapiOutput(std::string device, int block) : device_(std::move(device)), block_(block) {
    std::promise<void> opened;
    auto done = opened.get_future();
    worker_ = std::thread([this, &opened] { run(opened); });
    done.wait();
  }
  ~WasapiOutput() override {
    quit_ = true;
    if (wake_) SetEvent(wake_);
    if (worker_.joinable()) worker_.join();
    if (wake_) CloseHandle(wake_);
  }
  bool ok() const { return ok_; }
  const std::string& why() const { return why_; }
  int sampleRate() const override { return rate_; }
  int blockSize() const override { return block_; }
  std::string description() const override {
    return "WASAPI (" + name_ + ") " + std::to_string(rate_) + " Hz, " + std::to_string(block_) + " frames";
  }
  bool start(SynthProcess& synth) override {
    synth_.store(&synth);
    started_ = true;
    SetEvent(wake_);
    return true;
  }
  void stop() override {
    quit_ = true;
    if (wake_) SetEvent(wake_);
    if (worker_.joinable()) worker_.join();
    synth_.store(nullptr);
  }

 private:
  bool open() {
    HRESULT hr = CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                  reinterpret_cast<void**>(&enumerator_));
    if (FAILED(hr)) return fail("no audio endpoints (" + hresultText(hr) + ")");
    if (device_.empty() || device_ == "wasapi") {
      hr = enumerator_->GetDefaultAudioEndpoint(eRender, eConsole, &endpoint_);
      if (FAILED(hr)) return fail("no default audio endpoint (" + hresultText(hr) + ")");
      for (const auto& [name, id] : endpoints(enumerator_)) {
        LPWSTR mine = nullptr;
        if (SUCCEEDED(endpoint_->GetId(&mine)) && id == mine) name_ = name;
        if (mine) CoTaskMemFree(mine);
      }
      if (name_.empty()) name_ = "default";
    } else {
      for (const auto& [name, id] : endpoints(enumerator_))
        if (name == device_ && SUCCEEDED(enumerator_->GetDevice(id.c_str(), &endpoint_))) name_ = name;
      if (!endpoint_) return fail("no audio endpoint named '" + device_ + "'");
    }
    hr = endpoint_->Activate(__uuidof(IAudioClient), CLSCTX_ALL, nullptr, reinterpret_cast<void**>(&client_));
    if (FAILED(hr)) return fail("the endpoint refused (" + hresultText(hr) + ")");
    hr = client_->GetMixFormat(&format_);
    if (FAILED(hr)) return fail("no mix format (" + hresultText(hr) + ")");
    floats_ = format_->wFormatTag == WAVE_FORMAT_IEEE_FLOAT ||
              (format_->wFormatTag == WAVE_FORMAT_EXTENSIBLE &&
               reinterpret_cast<WAVEFORMATEXTENSIBLE*>(format_)->SubFormat == kFloatSubtype);
    if (!floats_ && format_->wBitsPerSample != 16) return fail("the mix format is neither float nor 16 bits");
    rate_ = static_cast<int>(format_->nSamplesPerSec);
    channels_ = format_->nChannels;
    // Three blocks of buffer, in 100 ns units.
    const REFERENCE_TIME duration = 3LL * block_ * 10000000LL / rate_;
    hr =
        client_->Initialize(AUDCLNT_SHAREMODE_SHARED, AUDCLNT_STREAMFLAGS_EVENTCALLBACK, duration, 0, format_, nullptr);
    if (FAILED(hr)) return fail("the endpoint refused the stream (" + hresultText(hr) + ")");
    client_->GetBufferSize(&bufferFrames_);
    hr = client_->SetEventHandle(ready_);
    if (SUCCEEDED(hr)) hr = client_->GetService(__uuidof(IAudioRenderClient), reinterpret_cast<void**>(&render_));
    if (FAILED(hr)) return fail("no render service (" + hresultText(hr) + ")");
    left_.assign(static_cast<std::size_t>(block_), 0.0f);
    right_.assign(static_cast<std::size_t>(block_), 0.0f);
    return true;
  }
  bool fail(std::string why) {
    why_ = std::move(why);
    return false;
  }

  void run(std::promise<void>& opened) {
    const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
    wake_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ready_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    ok_ = wake_ && ready_ && open();
    opened.set_value();
    if (ok_) {
      while (!started_ && !quit_) WaitForSingleObject(wake_, INFINITE);
      if (!quit_) play();
    }
    release(render_);
    release(client_);
    release(endpoint_);
    release(enumerator_);
    if (format_) CoTaskMemFree(format_);
    if (ready_) CloseHandle(ready_);
    if (SUCCEEDED(com)) CoUninitialize();
  }

  void play() {
    DWORD task = 0;
    HANDLE mmcss = AvSetMmThreadCharacteristicsW(L"Pro Audio", &task);
    client_->Start();
    HANDLE waits[2] = {ready_, wake_};
    while (!quit_) {
      WaitForMultipleObjects(2, waits, FALSE, 200);
      UINT32 padding = 0;
      if (FAILED(client_->GetCurrentPadding(&padding))) break;  // the device went away
      UINT32 room = bufferFrames_ - padding;
      while (room >= static_cast<UINT32>(block_) && !quit_) {
        BYTE* data = nullptr;
        if (FAILED(render_->GetBuffer(static_cast<UINT32>(block_), &data))) break;
        if (SynthProcess* synth = synth_.load()) {
          synth->process(left_.data(), right_.data(), block_, {});
        } else {
          std::fill(left_.begin(), left_.end(), 0.0f);
          std::fill(right_.begin(), right_.end(), 0.0f);
        }
        write(data);
        render_->ReleaseBuffer(static_cast<UINT32>(block_), 0);
        room -= static_cast<UINT32>(block_);
      }
    }
    client_->Stop();
    if (mmcss) AvRevertMmThreadCharacteristics(mmcss);
  }

  // The two channels into the first two of the mix format's, the others silent.
  void write(BYTE* data) const {
    const std::size_t n = static_cast<std::size_t>(block_), ch = channels_;
    for (std::size_t i = 0; i < n; ++i)
      for (std::size_t c = 0; c < ch; ++c) {
        const float v = c == 0 ? left_[i] : (c == 1 ? right_[i] : 0.0f);
        if (floats_)
          reinterpret_cast<float*>(data)[i * ch + c] = v;
        else
          reinterpret_cast<std::int16_t*>(data)[i * ch + c] =
              static_cast<std::int16_t>(std::clamp(v, -1.0f, 1.0f) * 32767.0f);
      }
  }

  std::string device_, name_, why_;
  int block_, rate_ = kDefaultRate;
  std::size_t channels_ = 2;
  bool floats_ = true, ok_ = false;
  IMMDeviceEnumerator* enumerator_ = nullptr;
  IMMDevice* endpoint_ = nullptr;
  IAudioClient* client_ = nullptr;
  IAudioRenderClient* render_ = nullptr;
  WAVEFORMATEX* format_ = nullptr;
  UINT32 bufferFrames_ = 0;
  HANDLE wake_ = nullptr, ready_ = nullptr;
  std::vector<float> left_, right_;
  std::atomic<SynthProcess*> synth_{nullptr};
  std::atomic<bool> started_{false}, quit_{false};
  std::thread worker_;
};

// A few blocks queued on a wave device, each written again once the device is done with it.
class WinmmOutput : public AudioOutput {
 public:
  WinmmOutput(HWAVEOUT wave, HANDLE done, std::string name, int rate, int block)
      : wave_(wave), done_(done), name_(std::move(name)), rate_(rate), block_(block) {
    left_.assign(static_cast<std::size_t>(block), 0.0f);
    right_.assign(static_cast<std::size_t>(block), 0.0f);
    for (std::size_t i = 0; i < headers_.size(); ++i) {
      buffers_[i].assign(2 * static_cast<std::size_t>(block), 0);
      headers_[i] = WAVEHDR{};
      headers_[i].lpData = reinterpret_cast<LPSTR>(buffers_[i].data());
      headers_[i].dwBufferLength = static_cast<DWORD>(buffers_[i].size() * sizeof(std::int16_t));
      waveOutPrepareHeader(wave_, &headers_[i], sizeof(WAVEHDR));
      headers_[i].dwFlags |= WHDR_DONE;  // free to fill
    }
  }
  ~WinmmOutput() override {
    stop();
    waveOutReset(wave_);
    for (WAVEHDR& h : headers_) waveOutUnprepareHeader(wave_, &h, sizeof h);
    waveOutClose(wave_);
    CloseHandle(done_);
  }
  int sampleRate() const override { return rate_; }
  int blockSize() const override { return block_; }
  std::string description() const override {
    return "WinMM (" + name_ + ") " + std::to_string(rate_) + " Hz, " + std::to_string(block_) + " frames";
  }
  bool start(SynthProcess& synth) override {
    if (!worker_.joinable()) worker_ = std::thread([this, &synth] { run(synth); });
    return true;
  }
  void stop() override {
    quit_ = true;
    if (worker_.joinable()) worker_.join();
  }

 private:
  void run(SynthProcess& synth) {
    SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL);
    std::size_t next = 0;
    while (!quit_) {
      WAVEHDR& h = headers_[next];
      if (!(h.dwFlags & WHDR_DONE)) {
        WaitForSingleObject(done_, 100);
        continue;
      }
      synth.process(left_.data(), right_.data(), block_, {});
      std::vector<std::int16_t>& b = buffers_[next];
      for (std::size_t i = 0; i < left_.size(); ++i) {
        b[2 * i] = static_cast<std::int16_t>(std::clamp(left_[i], -1.0f, 1.0f) * 32767.0f);
        b[2 * i + 1] = static_cast<std::int16_t>(std::clamp(right_[i], -1.0f, 1.0f) * 32767.0f);
      }
      h.dwFlags &= ~static_cast<DWORD>(WHDR_DONE);
      waveOutWrite(wave_, &h, sizeof h);
      next = (next + 1) % headers_.size();
    }
  }

  HWAVEOUT wave_;
  HANDLE done_;
  std::string name_;
  int rate_, block_;
  std::vector<float> left_, right_;
  std::array<WAVEHDR, 4> headers_{};
  std::array<std::vector<std::int16_t>, 4> buffers_;
  std::atomic<bool> quit_{false};
  std::thread worker_;
};

std::vector<std::string> waveOutNames() {
  std::vector<std::string> names;
  const UINT n = waveOutGetNumDevs();
  for (UINT i = 0; i < n; ++i) {
    WAVEOUTCAPSW caps{};
    if (waveOutGetDevCapsW(i, &caps, sizeof caps) == MMSYSERR_NOERROR) names.push_back(narrow(caps.szPname));
  }
  return names;
}

std::unique_ptr<AudioOutput> openWinmm(const std::string& device, int rate, int block, std::string& why) {
  UINT id = WAVE_MAPPER;
  std::string name = "wave mapper";
  if (!device.empty() && device != "winmm") {
    const auto names = waveOutNames();
    const auto it = std::find(names.begin(), names.end(), device);
    if (it == names.end()) {
      why = "no output named '" + device + "'";
      return nullptr;
    }
    id = static_cast<UINT>(it - names.begin());
    name = device;
  }
  WAVEFORMATEX f{};
  f.wFormatTag = WAVE_FORMAT_PCM;
  f.nChannels = 2;
  f.nSamplesPerSec = static_cast<DWORD>(rate);
  f.wBitsPerSample = 16;
  f.nBlockAlign = 4;
  f.nAvgBytesPerSec = f.nSamplesPerSec * 4;
  HANDLE done = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  HWAVEOUT wave = nullptr;
  const MMRESULT r =
      done ? waveOutOpen(&wave, id, &f, reinterpret_cast<DWORD_PTR>(done), 0, CALLBACK_EVENT) : MMSYSERR_NOMEM;
  if (r != MMSYSERR_NOERROR) {
    if (done) CloseHandle(done);
    why = "WinMM: no wave output (error " + std::to_string(r) + ")";
    return nullptr;
  }
  return std::make_unique<WinmmOutput>(wave, done, name, rate, block);
}

std::vector<std::string> endpointNames() {
  std::vector<std::string> names;
  const HRESULT com = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  IMMDeviceEnumerator* e = nullptr;
  if (SUCCEEDED(CoCreateInstance(__uuidof(MMDeviceEnumerator), nullptr, CLSCTX_ALL, __uuidof(IMMDeviceEnumerator),
                                 reinterpret_cast<void**>(&e)))) {
    for (const auto& [name, id] : endpoints(e)) names.push_back(name);
    e->Release();
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return names;
}

}  // namespace

std::unique_ptr<AudioOutput> openAudioOutput(const AudioRequest& request, std::string& report) {
  const int rate = request.rate > 0 ? request.rate : kDefaultRate;
  const int block = request.block > 0 ? request.block : kDefaultBlock;
  std::string why;
  const bool winmmOnly = request.device == "winmm" || (!request.device.empty() && request.device != "wasapi" &&
                                                       std::ranges::count(endpointNames(), request.device) == 0);
  if (!winmmOnly) {
    auto wasapi = std::make_unique<WasapiOutput>(request.device, block);
    if (wasapi->ok()) return wasapi;
    report = "WASAPI: " + wasapi->why();
    if (request.device == "wasapi") return nullptr;
  }
  if (auto winmm = openWinmm(request.device, rate, block, why)) return winmm;
  report += (report.empty() ? "" : "; ") + why;
  return nullptr;
}

std::vector<std::string> audioDeviceNames() {
  std::vector<std::string> names{"wasapi"};
  for (const std::string& n : endpointNames()) names.push_back(n);
  names.push_back("winmm");
  for (const std::string& n : waveOutNames()) names.push_back(n);
  return names;
}

}  // namespace korvo

#endif
