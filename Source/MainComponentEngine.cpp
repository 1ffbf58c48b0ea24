// The engine half of the main component: device opening and the channel strip, the
// audio callback, recording, stopping and finalising takes, and the timer displays.

#include "MainComponent.h"

#include <cmath>
#include <cstdio>

//==============================================================================
// Hand-overs between the threads
//
// Message thread <-> audio thread, per-channel levels and followers:
//   the callback try-locks stripLock around its metering and skips the metering of a
//   block when the message thread is rebuilding the arrays. It never waits.
//
// Message thread <-> audio thread, writers:
//   the callback uses threadedWriters, selectedChannels and takeFeed only while it holds
//   writerLock (try-lock) and reads isRecording as set. Record fills the array and starts
//   the feed before it sets the flag. stopFeedingWriters clears the flag and then takes
//   writerLock once: when it returns, the callback is not inside the feed and will not
//   enter it.
//
// Audio thread -> feed thread -> writers:
//   the callback never calls a writer (a writer's write can wait on a mutex of its writer
//   thread). It copies each block into the feed's ring, lock-free; the feed's thread
//   passes the blocks on. No row of the ring is handed on without being written in that
//   block: a selected channel that the block does not reach is written as silence.
//   CleanWriters finishes the feed before it deletes a writer: the feed passes on the
//   rest, waiting for room in a writer whose buffer is full, then waits until every
//   writer's thread has written out all it was given. A writer that takes and writes
//   nothing for TakeFeed::stallLimitMs (10 s) is given up, so that neither a Stop nor a
//   quit waits for ever; CleanWriters lets it go undeleted. The feed's thread uses the
//   writers only under the feed's lock, which finish takes too (TakeFeed.h).
//
// Message thread <-> clean-up thread:
//   doStop(true) shows the overlay and then, in startCleanUp, marks writersBusy before the
//   thread starts; both on the message thread, so no meter duty runs between them and
//   none can read the 0 of an earlier take. At most one clean-up runs: a second stop
//   while one is at work leaves the array to it. Record starts nothing while a clean-up
//   runs (cleanUpRunning), and joins the finished thread before it touches the array;
//   the destructor joins a running one, so no clean-up outlives the component.
//   CleanWriters also runs on the message thread itself, after joining any clean-up
//   thread: for a refused take, in the destructor, and when the display is lost. The
//   writer threads that it marks as held by a given-up writer (heldWriterThreads) are
//   read by Record only after that join.
//
// Writer, clean-up and audio threads -> message thread, a failed take:
//   endTakeOnFailure clears isRecording and, for the take's first failure only (the
//   takeFailureLatched exchange), raises diskWriteError; the meter duty exchanges it back
//   and shows the alert. Files that fail as they are finalised (at their last write, sync
//   or close), and writers given up, raise nothing more.
//   A file's report carries its take's number (failureReportOfThisTake). A writer given up
//   stays alive with its stream, and its stuck write may fail at any later time: a report
//   whose take is no longer the last one Record opened counts for nothing. Record opens a
//   take (openTake) and a stream weighs its report under takeNumberLock, so a report is
//   either weighed before the new take exists or found to be old.
//
// Device -> audio thread, which buffer is which input:
//   a device passes only the inputs it has running, packed together (a JACK device: those
//   connected). InputPlayer::routeInputs maps them to device inputs in
//   audioDeviceAboutToStart, which the device manager calls under its callback lock before
//   the first block of every start; a JACK device stops and restarts its callback around
//   each change of connections, so no block ever meets a map made for another set. The
//   map covers the inputs the device opened with, whatever its source names later.
//
// Device <-> message thread, a device that stops delivering:
//   a JACK device whose server quits is closed from JACK's own thread, which stops our
//   callback (releaseResources) and leaves the device current but silent. releaseResources
//   only marks deviceStopped. Other devices stop passing blocks without a word: an ALSA
//   device whose interface is unplugged, a JACK device with no input connected. The
//   callback counts the blocks that arrive (an atomic), and each meter duty counts the
//   duties in a row that saw none; a device start resets that count. The meter duty ends
//   a take that runs without audio (noInputArrives), and Record starts none.
//
// Audio thread, numbers:
//   no denormal on the audio thread. The callback runs with denormals flushed to zero for
//   its whole length (ScopedNoDenormals); the followers never keep one (CEnvFollower::kept).

/** After this returns no audio callback is, or will be, inside a writer of this take. */
void MainComponent::stopFeedingWriters()
{
    isRecording = false;
    const juce::ScopedLock barrier (writerLock);
}

/** Waits for a clean-up thread of an earlier stop, if any, to finish its files. */
void MainComponent::finishCleanUp()
{
    if (cleanerThread.joinable())
        cleanerThread.join();
}

/** Starts the background clean-up unless one is already emptying the array. */
void MainComponent::startCleanUp()
{
    if (cleanUpRunning.load())
        return;

    finishCleanUp();
    cleanUpRunning = true;
    writersBusy = 1;

    try
    {
        cleanerThread = std::thread ([this]
        {
            CleanWriters();
            cleanUpRunning = false;
        });
    }
    catch (const std::system_error&)
    {
        // No thread to be had: finalise here rather than leave the files open.
        CleanWriters();
        cleanUpRunning = false;
    }
}

//==============================================================================
// Device opening and the channel strip

void MainComponent::SetAsioDevice (bool keepRateList, bool rateChangeOnly)
{
    const juce::ScopedLock sl (deviceLock);

    shutdownAudio();
    audioSourcePlayer.forgetDevice();

    if (! keepRateList && ! rateChangeOnly)
        sampleRateCombo.clear (juce::sendNotificationAsync);

    clearChannelStrip();

    const auto index = deviceCombo.getSelectedItemIndex();
    const auto name = index >= 0 ? deviceCombo.getItemText (index) : juce::String();

    if (name.isNotEmpty())
        openChosenDevice (name, deviceTypeOfEntry[index], rateChangeOnly);

    if (deviceManager.getCurrentAudioDevice() == nullptr)
        shutdownAudio();

    CheckBoxState();
}

void MainComponent::clearChannelStrip()
{
    channelBoxes.clear();
    vuMeters.clear();

    {   // the two arrays the audio callback reads, emptied while it stays out
        const juce::SpinLock::ScopedLockType strip (stripLock);
        meterLevels.clear();
        envFollowers.clear();
    }

    for (int i = channelStrip.getNumChildComponents(); --i >= 0;)
        channelStrip.removeChildComponent (i);
}

/** Opens a device-list entry with all its inputs, fills the rate list and builds the strip. */
void MainComponent::openChosenDevice (const juce::String& name, const juce::String& typeName, bool rateChangeOnly)
{
    const auto wanted = juce::jmax (0, (int) sampleRateCombo.getSelectedIdAsValue().getValue());

    deviceManager.setCurrentAudioDeviceType (typeName, true);

    auto setup = deviceManager.getAudioDeviceSetup();
    setup.useDefaultOutputChannels = false;
    setup.inputDeviceName = name;
    setup.sampleRate = wanted;
    setup.bufferSize = 0;
    deviceManager.setAudioDeviceSetup (setup, true);

    auto* device = deviceManager.getCurrentAudioDevice();

    if (device == nullptr)
        return;

    bitsCombo.setEnabled (true);
    numInputChannels = device->getInputChannelNames().size();

    channelViewport.setScrollBarsShown (false, true);
    channelViewport.setScrollBarPosition (true, true);
    channelViewport.setScrollBarThickness (10);

    // The first opening asks for the channel count of the previous set-up; this one asks
    // for every input of the device.
    const auto k = name.upToFirstOccurrenceOf ("-", false, false).trim().length();
    deviceManager.initialise (numInputChannels, 0, nullptr, true, name.substring (k + 3), &setup);

    deviceManager.addAudioCallback (&audioSourcePlayer);
    audioSourcePlayer.setSource (this);

    // The re-initialisation may have settled on another device, or on none.
    device = deviceManager.getCurrentAudioDevice();

    if (device == nullptr)
        return;

    const auto rate = device->getCurrentSampleRate();

    if (! rateChangeOnly)
        fillSampleRateList (*device, rate);

    sampleRateCombo.setEnabled (true);

    if (numInputChannels > 0)
        buildChannelStrip (rate);

    showChannelBlock();
}

void MainComponent::fillSampleRateList (juce::AudioIODevice& device, double rate)
{
    for (auto r : device.getAvailableSampleRates())
    {
        sampleRateCombo.addItem (juce::String (r), (int) r);

        if (r == rate)
            sampleRateCombo.setSelectedId ((int) r, juce::dontSendNotification);
    }
}

void MainComponent::buildChannelStrip (double rate)
{
    const auto coefficients = CEnvFollower::coefficientsFor ((float) rate);

    for (int i = 0; i < numInputChannels; ++i)
    {
        auto* box = channelBoxes.add (new CheckBox ("cb" + juce::String (i)));
        box->setButtonText ({});
        box->label = juce::String (i + 1);
        box->onClick = [this] { channelCheckBoxOnClick(); };
        box->setBounds (40 * i, 3, 40, 30);
        channelStrip.addAndMakeVisible (box);

        auto* meter = vuMeters.add (new vuMeter2());
        meter->setBounds (40 * i + 5, 45, 30, 130);
        channelStrip.addAndMakeVisible (meter);

        auto level = std::make_unique<std::atomic<float>> (0.0f);
        auto follower = std::make_unique<CEnvFollower> (coefficients);
        const juce::SpinLock::ScopedLockType strip (stripLock);
        meterLevels.add (level.release());
        envFollowers.add (follower.release());
    }
}

/** The select-all caption and box join the main panel with the first device, and the
    channel block is laid out at once rather than at the next resize. */
void MainComponent::showChannelBlock()
{
    checkAllBox->addListener (this);
    mainPanel.addAndMakeVisible (selectAllLabel);
    mainPanel.addAndMakeVisible (checkAllBox.get());
    layOutChannelBlock();
}

void MainComponent::CheckBoxState()
{
    recordButton.setEnabled (false);
    selectedChannels.clear();

    for (int i = 0; i < numInputChannels; ++i)
        if (auto* box = channelBoxes[i]; box != nullptr && box->getToggleState())
            selectedChannels.add (i);

    numSelectedChannels = selectedChannels.size();
    recordButton.setEnabled (numSelectedChannels > 0);
}

void MainComponent::channelCheckBoxOnClick()
{
    CheckBoxState();
}

void MainComponent::deviceComboOnChange()
{
    SetAsioDevice (false, false);
}

void MainComponent::sampleRateComboOnChange()
{
    auto* device = deviceManager.getCurrentAudioDevice();

    if (device == nullptr)
    {
        SetAsioDevice (false, true);
        return;
    }

    const auto id = sampleRateCombo.getSelectedId();

    if (device->getCurrentSampleRate() == (double) id || id == 0)
        return;

    SetAsioDevice (false, true);
}

//==============================================================================
// The audio callback

MainComponent::InputPlayer::InputPlayer (MainComponent& o) : owner (o) {}

MainComponent::InputPlayer::~InputPlayer() = default;

void MainComponent::InputPlayer::setSource (juce::AudioSource* newSource)
{
    juce::AudioSourcePlayer::setSource (newSource);
    hasSource = newSource != nullptr;
}

void MainComponent::InputPlayer::routeInputs (const juce::BigInteger& delivered, int numChannels, int maxBlockSize)
{
    deviceChannelOfBuffer.clear();

    for (int c = 0; c < numChannels; ++c)
        if (delivered[c])
            deviceChannelOfBuffer.push_back (c);

    inputList.assign ((size_t) juce::jmax (0, numChannels), nullptr);
    silence.assign ((size_t) juce::jmax (1, maxBlockSize), 0.0f);
}

/** Message thread, after the device it routed was closed: the next start is a new device's. */
void MainComponent::InputPlayer::forgetDevice() noexcept
{
    routedDevice = nullptr;
    deviceInputs = 0;
}

/** The inputs a device opened with. A JACK device names its source's ports as they are
    now, and a source that lowers its port count names fewer than the device has: the
    count of the device's first start holds for as long as it stays open. */
int MainComponent::InputPlayer::inputsOf (juce::AudioIODevice& device, const juce::BigInteger& delivered)
{
    if (&device != routedDevice)
    {
        routedDevice = &device;
        deviceInputs = device.getInputChannelNames().size();
    }

    deviceInputs = juce::jmax (deviceInputs, delivered.getHighestBit() + 1);
    return deviceInputs;
}

/** Message thread. A JACK device restarts its callback with a new set of inputs whenever
    a connection to it changes, and so does every device at its opening: the set is read
    afresh before each start's first block. */
void MainComponent::InputPlayer::audioDeviceAboutToStart (juce::AudioIODevice* device)
{
    if (device != nullptr)
    {
        auto largestBlock = juce::jmax (4096, device->getCurrentBufferSizeSamples());

        for (auto size : device->getAvailableBufferSizes())
            largestBlock = juce::jmax (largestBlock, size);

        const auto delivered = device->getActiveInputChannels();
        routeInputs (delivered, inputsOf (*device, delivered), largestBlock);
        blockMs = 1000.0 * device->getCurrentBufferSizeSamples() / juce::jmax (1.0, device->getCurrentSampleRate());
    }
    else
    {
        routeInputs ({}, 0, 1);
    }

    juce::AudioSourcePlayer::audioDeviceAboutToStart (device);
}

void MainComponent::InputPlayer::audioDeviceIOCallbackWithContext (const float* const* inputs, int numInputs,
                                                                   float* const* outputs, int numOutputs, int numSamples,
                                                                   const juce::AudioIODeviceCallbackContext&)
{
    const juce::ScopedNoDenormals noDenormals;
    blocks.fetch_add (1);

    // A block longer than the silence made for it goes in pieces, each one a whole block
    // for the metering and the take.
    const auto piece = juce::jmax (1, (int) silence.size());

    for (int start = 0; start < numSamples; start += piece)
        passBlock (inputs, numInputs, start, juce::jmin (piece, numSamples - start));

    for (int i = 0; i < numOutputs; ++i)
        if (outputs[i] != nullptr)
            juce::FloatVectorOperations::clear (outputs[i], numSamples);
}

/** Each device input reads its own buffer, and an input that is not delivered reads
    silence, so that every file of a take holds its own input and keeps the take's length.
    A block whose buffer count is not that of the inputs the device said it delivers is
    silence for every input: which buffer is which cannot be known. */
void MainComponent::InputPlayer::passBlock (const float* const* inputs, int numInputs, int start, int numSamples)
{
    std::fill (inputList.begin(), inputList.end(), silence.data());

    if (numInputs == (int) deviceChannelOfBuffer.size())
        for (int b = 0; b < numInputs; ++b)
            if (inputs[b] != nullptr)
                inputList[(size_t) deviceChannelOfBuffer[(size_t) b]] = inputs[b] + start;

    if (hasSource)
        owner.processInputs (inputList.data(), (int) inputList.size(), 0, numSamples);
}

void MainComponent::prepareToPlay (int, double sampleRate)
{
    currentSampleRate = (int) sampleRate;
    deviceStopped = false;
    blocklessDuties = 0;   // a device that has just started has had no time to pass a block
}

void MainComponent::releaseResources()
{
    deviceStopped = true;
}

/** Message thread: no block comes, because the device stopped by itself (its server
    quit), or because it stays open but has passed none for a while (a device that died
    without saying so, a source that quit, a patchbay that cut every input). */
bool MainComponent::noInputArrives() const noexcept
{
    return deviceStopped || blocklessDuties.load() >= blocklessDutyLimit();
}

int MainComponent::blocklessDutyLimit() const noexcept
{
    return juce::jmax (minBlocklessDuties, (int) std::ceil (4.0 * audioSourcePlayer.blockMilliseconds() / meterDutyTicks));
}

/** Meter duty: one more duty without a block, or none since the last block. */
void MainComponent::countBlocklessDuties()
{
    const auto blocks = audioSourcePlayer.blocksArrived();
    blocklessDuties = blocks == blocksAtLastDuty ? blocklessDuties.load() + 1 : 0;
    blocksAtLastDuty = blocks;
}

void MainComponent::getNextAudioBlock (const juce::AudioSourceChannelInfo& bufferToFill)
{
    const juce::ScopedNoDenormals noDenormals;
    auto& buffer = *bufferToFill.buffer;
    processInputs (buffer.getArrayOfReadPointers(), buffer.getNumChannels(), bufferToFill.startSample, bufferToFill.numSamples);
    bufferToFill.clearActiveBufferRegion();
}

void MainComponent::processInputs (const float* const* channels, int numChannels, int startSample, int n)
{
    if (shuttingDown || numChannels == 0)
        return;

    const juce::SpinLock::ScopedTryLockType strip (stripLock);
    const juce::ScopedTryLock writers (writerLock);
    const bool feeding = writers.isLocked() && isRecording.load();
    const auto numSlots = feeding ? threadedWriters.size() : 0;
    const auto numSelected = feeding ? selectedChannels.size() : 0;
    const auto bytesPerSample = (int64_t) takeBytesPerSample.load();
    const auto numMetered = strip.isLocked() ? juce::jmin (numChannels, meterLevels.size(), envFollowers.size()) : 0;
    const auto space = feeding ? takeFeed.reserve (n) : TakeFeed::Space {};
    int k = 0;

    // Channels go in small groups: first each one's samples to the feed, in channel
    // order, then the group's metering in one interleaved pass. A feed with no room for
    // the block refuses it at the first channel with a writer; the block ends after that
    // channel, exactly as a channel-by-channel walk would.
    for (int first = 0; first < numChannels; first += meterGroupSize)
    {
        const auto end = juce::jmin (first + meterGroupSize, numChannels);
        auto reached = end;
        bool refused = false;

        for (int c = first; c < end && feeding; ++c)
        {
            if (k >= numSelected || selectedChannels.getUnchecked (k) != c)
                continue;

            if (k < numSlots && threadedWriters.getUnchecked (k) != nullptr)
            {
                if (! space.fits)
                {
                    endTakeOnFailure();
                    reached = c + 1;
                    refused = true;
                    break;
                }

                takeFeed.copy (k, channels[c] + startSample, space);
                bytesWritten += bytesPerSample * n;
            }

            ++k;
        }

        CEnvFollower* followers[meterGroupSize];
        std::atomic<float>* levels[meterGroupSize];
        const float* samples[meterGroupSize];
        int count = 0;

        for (int c = first; c < juce::jmin (reached, numMetered); ++c, ++count)
        {
            followers[count] = envFollowers.getUnchecked (c);
            levels[count] = meterLevels.getUnchecked (c);
            samples[count] = channels[c] + startSample;
        }

        meterChannels (followers, levels, samples, count, n);

        if (refused)
            break;
    }

    if (feeding && space.fits)
    {
        // No row goes to a writer unwritten, or it would hand on what the ring held a lap
        // ago: a selected channel that this block does not reach is written as silence.
        for (; k < numSelected; ++k)
        {
            if (k < numSlots && threadedWriters.getUnchecked (k) != nullptr)
            {
                takeFeed.silence (k, space);
                bytesWritten += bytesPerSample * n;
            }
        }

        takeFeed.commit (space);
    }
}

void MainComponent::meterChannels (CEnvFollower* const* followers, std::atomic<float>* const* levels,
                                   const float* const* samples, int count, int n) noexcept
{
    float envelope[meterGroupSize], attack[meterGroupSize], release[meterGroupSize];

    for (int g = 0; g < count; ++g)
    {
        envelope[g] = followers[g]->envelope;
        attack[g] = followers[g]->attack;
        release[g] = followers[g]->release;
    }

    // A whole group steps sample by sample, four independent chains side by side, held in
    // registers; the arithmetic of each channel is exactly that of CEnvFollower::process.
    if (count == meterGroupSize)
    {
        static_assert (meterGroupSize == 4, "the loop below is written out for four channels");
        float e0 = envelope[0], e1 = envelope[1], e2 = envelope[2], e3 = envelope[3];
        const float* s0 = samples[0];
        const float* s1 = samples[1];
        const float* s2 = samples[2];
        const float* s3 = samples[3];

        for (int i = 0; i < n; ++i)
        {
            e0 = CEnvFollower::step (e0, s0[i], attack[0], release[0]);
            e1 = CEnvFollower::step (e1, s1[i], attack[1], release[1]);
            e2 = CEnvFollower::step (e2, s2[i], attack[2], release[2]);
            e3 = CEnvFollower::step (e3, s3[i], attack[3], release[3]);
        }

        envelope[0] = e0;
        envelope[1] = e1;
        envelope[2] = e2;
        envelope[3] = e3;
    }
    else
    {
        for (int g = 0; g < count; ++g)
            for (int i = 0; i < n; ++i)
                envelope[g] = CEnvFollower::step (envelope[g], samples[g][i], attack[g], release[g]);
    }

    for (int g = 0; g < count; ++g)
    {
        // A sample that is not a number, or an infinite one, would stay in the envelope
        // for good and leave the meter dark: the channel starts again from silence.
        if (! std::isfinite (envelope[g]))
            envelope[g] = 0.0f;

        envelope[g] = CEnvFollower::kept (envelope[g]);
        followers[g]->envelope = envelope[g];
        levels[g]->store (envelope[g], std::memory_order_relaxed);
    }
}

//==============================================================================
// Recording a take

void MainComponent::selectAll()
{
    for (auto* box : channelBoxes)
        box->setToggleState (checkAllBox->getToggleState(), juce::dontSendNotification);

    CheckBoxState();
}

void MainComponent::record()
{
    // A stopped take's files are still being finalised behind the overlay (Record can
    // still be reached from the keyboard). Waiting for them here would freeze the window.
    if (cleanUpRunning)
        return;

    // The last take's failure, if the timer has not shown it yet, is not lost to this one.
    if (diskWriteError.exchange (false))
        showDiskWriteErrorAlert();

    recordButton.setEnabled (false);
    stopButton.setEnabled (true);
    sampleRateCombo.setEnabled (false);
    bitsCombo.setEnabled (false);
    deviceCombo.setEnabled (false);
    checkAllBox->setEnabled (false);

    bytesWritten = 0;

    auto* device = deviceManager.getCurrentAudioDevice();

    // A device that stopped by itself (its server quit), or one with no input connected,
    // is still current but silent: a take would be empty files in place of old ones.
    if (device == nullptr || noInputArrives())
        return;

    const auto folder = juce::File::createLegalPathName (folderEditor.getText());

    if (folder.isEmpty())
        return;

    const auto prefix = prefixEditor.getText().isNotEmpty() ? prefixEditor.getText() : juce::String ("Track");
    const auto takeFolder = TakeFiles::takeFolderInside (folderEditor.getText(), prefix);

    if (takeFolder == juce::File() || takeFolder.createDirectory().failed())
    {
        dialogs.warnAsync ("Error", "Unable to write on disk.");
        doStop (false);
        return;
    }

    // A clean-up of the previous take may still be emptying the array.
    finishCleanUp();
    openTake();

    const auto bits = bitsCombo.getSelectedId();
    const auto sampleRate = device->getCurrentSampleRate();
    bool asked = false;
    SetAsideFiles setAside;

    // Each writer's five-second buffer is fresh memory whose pages would otherwise be
    // faulted in one by one by the audio thread, the first time it writes to them: with
    // hundreds of channels that makes the first seconds of a take miss the device's
    // deadlines. The writer threads are made first, so that their stacks are not backed.
    if (writerThreadForSlot (juce::jmax (0, selectedChannels.size() - 1)) == nullptr)
    {
        refuseTake (setAside);
        return;
    }

    const auto memoryBefore = WriterMemory::writableAnonymousMemory();

    for (int i = 0; i < numInputChannels; ++i)
    {
        if (selectedChannels.contains (i))
        {
            currentFile = takeFolder.getChildFile (prefix + format_to (i + 1, 2) + ".wav");

            if (! asked && currentFile.exists())
            {
                asked = true;

                if (! dialogs.askYesNo ("File(s) already exists.", "Overwrite?"))
                {
                    stopButton.triggerClick();
                    return;
                }
            }

            auto* drainer = writerThreadForSlot (threadedWriters.size());
            auto* writer = drainer != nullptr && setAsideOldFile (currentFile, setAside)
                               ? createWriter (currentFile, sampleRate, bits, *drainer)
                               : nullptr;

            // A ticked channel that cannot be recorded would be missing from a take that
            // cannot be repeated, without a word: the take does not start at all.
            if (writer == nullptr)
            {
                refuseTake (setAside);
                return;
            }

            threadedWriters.add (writer);
            takeFiles.add (currentFile);
        }

        if (auto* box = channelBoxes[i])
            box->setEnabled (false);
    }

    // The feed's ring is fresh memory as well, backed with the writers' buffers.
    if (! startFeed())
    {
        refuseTake (setAside);
        return;
    }

    // "Overwrite?" is modal, and the device may have died while it was open: a take now
    // would replace the old files with empty ones. Nothing starts, and nothing is lost.
    if (noInputArrives())
    {
        abandonTake (setAside);
        return;
    }

    // The take starts: "Yes" has replaced every old file.
    for (const auto& [original, aside] : setAside)
        aside.deleteFile();

    WriterMemory::prefaultMemoryMappedSince (memoryBefore);

    takeWriterCount = threadedWriters.size();
    takeWriteFailed = false;
    takeFailureLatched = false;
    takeBytesPerSample = bits / 8;
    diskWriteError = false;
    isRecording = true;
    recordStartMs = juce::Time::getMillisecondCounter();
}

/** Ends a Record press that cannot record every ticked channel: the alert, the controls
    back, none of the files this press made left behind, and every old file it set aside
    back in its place, as it was. */
void MainComponent::refuseTake (const SetAsideFiles& setAside)
{
    dialogs.warnAsync ("Error", "Unable to write on disk.");
    abandonTake (setAside);
}

/** Ends a Record press that starts no take, without a word: the controls back, none of
    the files it made left behind, every old file it set aside back in its place. */
void MainComponent::abandonTake (const SetAsideFiles& setAside)
{
    const auto madeFiles = takeFiles;
    doStop (false);

    for (const auto& file : madeFiles)
        file.deleteFile();

    for (const auto& [original, aside] : setAside)
        std::rename (aside.getFullPathName().toRawUTF8(), original.getFullPathName().toRawUTF8());
}

/** Moves a channel's old file out of the way, to a hidden name beside it, rather than
    removing it: until every file of the take is made, the take may still be refused.
    False when the name is held by anything but a file that can be moved (a folder is
    never moved: it would be removed with the old files once the take starts). */
bool MainComponent::setAsideOldFile (const juce::File& file, SetAsideFiles& setAside)
{
    if (! file.exists())
        return true;

    const auto aside = file.getSiblingFile ("." + file.getFileName() + ".old").getNonexistentSibling (false);

    if (! file.existsAsFile() || std::rename (file.getFullPathName().toRawUTF8(), aside.getFullPathName().toRawUTF8()) != 0)
        return false;

    setAside.emplace_back (file, aside);
    return true;
}

/** A mono WAV writer on a new file, behind a five-second buffer drained by the writer
    thread; nullptr when the file or the writer cannot be made. A name that is still taken
    is not written: the take would be appended to what is there. */
juce::AudioFormatWriter::ThreadedWriter* MainComponent::createWriter (const juce::File& file, double sampleRate, int bits,
                                                                      juce::TimeSliceThread& drainer)
{
    auto stream = std::make_unique<TakeFiles::WatchedFileStream> (file, failureReportOfThisTake());

    if (! stream->openedOk())
        return nullptr;

    std::unique_ptr<juce::AudioFormatWriter> writer (juce::WavAudioFormat().createWriterFor (
        stream.get(), sampleRate, juce::AudioChannelSet::mono(), bits, {}, 0));

    if (writer == nullptr)
    {
        stream.reset();
        file.deleteFile();   // the empty file that opening the stream made
        return nullptr;
    }

    stream.release();   // the writer owns it now
    auto* threaded = new juce::AudioFormatWriter::ThreadedWriter (writer.release(), drainer, currentSampleRate * 5);

    // The header is brought up to date every second of audio, so that a file whose
    // process is killed (or whose machine stops) still opens with all but its last second.
    threaded->setFlushInterval (currentSampleRate);
    return threaded;
}

/** The first writersPerThread slots go to recorderThread, each further group to a thread
    of its own, started the first time a take needs it at the same priority. A group whose
    thread a given-up writer may still hold, inside its stuck write, moves to a new thread:
    that thread would never serve another writer. nullptr when the slot's thread cannot be
    started: its writers would never write anything out. */
juce::TimeSliceThread* MainComponent::writerThreadForSlot (int slot)
{
    const auto group = slot / writersPerThread;

    if (groupThreads.isEmpty())
        groupThreads.add (&recorderThread);

    while (groupThreads.size() <= group)
        groupThreads.add (newWriterThread());

    if (heldWriterThreads.contains (groupThreads[group]))
        groupThreads.set (group, newWriterThread());

    auto* thread = groupThreads[group];

    if (! thread->isThreadRunning() && ! thread->startThread (juce::Thread::Priority::highest))
        return nullptr;

    return thread;
}

juce::TimeSliceThread* MainComponent::newWriterThread()
{
    return extraRecorderThreads.add (new juce::TimeSliceThread ("Audio Recorder Thread " + juce::String (extraRecorderThreads.size() + 2)));
}

bool MainComponent::startFeed()
{
    // A writer that refuses a block has five seconds of audio waiting for the disk: the
    // take ends as the disk-write-error path says.
    return takeFeed.start (threadedWriters, currentSampleRate * feedSeconds, [this] { endTakeOnFailure(); });
}

/** Message thread, before the take's files are made: reports of earlier takes' files
    count for nothing from here on. */
void MainComponent::openTake()
{
    const std::scoped_lock lock (takeNumberLock);
    ++takeNumber;
}

/** Message thread: what a file of the take being opened calls when it cannot be written.
    Only this thread changes takeNumber, so it reads it here without the lock. */
std::function<void()> MainComponent::failureReportOfThisTake()
{
    return [this, take = takeNumber] { writeToDiskFailed (take); };
}

/** Writer or clean-up thread: a file of a take could not be written. For the take that
    Record opened last, this ends the take the way a full writer buffer does, so that the
    timer reports it and stops. An earlier take has reported its own failures already. */
void MainComponent::writeToDiskFailed (juce::uint32 take)
{
    const std::scoped_lock lock (takeNumberLock);

    if (take != takeNumber)
        return;

    takeWriteFailed = true;
    endTakeOnFailure();
}

/** Any thread, lock-free. Every file of a take can fail on its own, some of them only
    while the clean-up finalises them; the take's first failure alone raises the alert.
    Record clears the latch. */
void MainComponent::endTakeOnFailure() noexcept
{
    isRecording = false;

    if (! takeFailureLatched.exchange (true))
        diskWriteError = true;
}

//==============================================================================
// Stopping and finalising a take

void MainComponent::doStop (bool cleanUpOnThread)
{
    stopFeedingWriters();

    if (cleanUpOnThread)
    {
        // A hidden overlay does not follow resizes: it is fitted to the whole component
        // as it shows, so that no control is left usable beside it.
        haltOverlay->setBounds (getLocalBounds());
        haltOverlay->setVisible (true);
        startCleanUp();
    }
    else
    {
        finishCleanUp();
        CleanWriters();
    }

    enableControlsAfterStop();
}

void MainComponent::CleanWriters()
{
    writersBusy = 1;

    // What the audio callback handed over before it left the take reaches the writers, and
    // their threads write it all out.
    const auto givenUp = takeFeed.finish();

    // Last first; deleting a threaded writer completes its file, which its stream brings
    // to the disk and closes. A writer given up is let go of instead, its file as it is:
    // its thread may be stuck in the disk, and deleting the writer would wait for that
    // thread, then write to the same disk.
    for (auto slot : givenUp)
        if (auto* thread = groupThreads[slot / writersPerThread])
            heldWriterThreads.addIfNotAlreadyThere (thread);

    while (! threadedWriters.isEmpty())
    {
        const auto stuck = givenUp.contains (threadedWriters.size() - 1);
        threadedWriters.removeLast (1, ! stuck);
        const auto file = takeFiles.removeAndReturn (takeFiles.size() - 1);

        // A file whose disk writes failed holds less than its header counts.
        if (takeWriteFailed && file != juce::File() && ! stuck)
            TakeFiles::fitWavHeaderToData (file);
    }

    threadedWriters.clear();
    takeFiles.clear();
    writersBusy = 0;
}

void MainComponent::endTakeBeforeExit()
{
    shuttingDown = true;   // the audio callback returns at once from here on
    stopFeedingWriters();
    finishCleanUp();
    CleanWriters();
}

void MainComponent::enableControlsAfterStop()
{
    recordButton.setEnabled (true);
    stopButton.setEnabled (false);
    sampleRateCombo.setEnabled (true);
    bitsCombo.setEnabled (true);
    deviceCombo.setEnabled (true);
    checkAllBox->setEnabled (true);

    for (auto* box : channelBoxes)
        box->setEnabled (true);
}

//==============================================================================
// Timer displays

void MainComponent::timerCallback()
{
    if (++meterTick >= meterDutyTicks)
    {
        meterTick = 0;
        countBlocklessDuties();
        refreshMeters();

        if (diskWriteError.exchange (false))
            reportDiskWriteError();
        else if (isRecording && noInputArrives())
            doStop (true);   // nothing more can arrive, so end the take as Stop does

        if (writersBusy.load() == 0 && haltOverlay->isVisible())
            haltOverlay->setVisible (false);
    }

    if (diskTick++ >= 499)
    {
        diskTick = 0;
        updateDiskFigures();
    }

    if (clockTick++ >= 19)
    {
        clockTick = 0;
        updateClock();
    }
}

void MainComponent::refreshMeters()
{
    // Without blocks the levels are never brought down: no meter stays lit at the level
    // of the last one.
    const auto silent = deviceManager.getCurrentAudioDevice() != nullptr && noInputArrives();

    for (int c = 0; c < numInputChannels; ++c)
    {
        const auto v = ! silent && c < meterLevels.size() ? meterLevels.getUnchecked (c)->load (std::memory_order_relaxed) : 0.0f;

        if (auto* meter = vuMeters[c])
            meter->setLevel (v);
    }
}

void MainComponent::reportDiskWriteError()
{
    showDiskWriteErrorAlert();
    doStop (true);
}

void MainComponent::showDiskWriteErrorAlert()
{
    dialogs.warnAsync ("Disk write error",
                       "There was an error while writing on disk.\nMake sure your disk is fast enough to record "
                           + juce::String (takeWriterCount.load()) + " channels.");
}

void MainComponent::updateDiskFigures()
{
    infoPanel.path = currentFile.getFullPathName();
    infoPanel.bytesWritten = (float) bytesWritten.load();
    infoPanel.sampleRate = (float) sampleRateCombo.getSelectedId();
    infoPanel.bits = bitsCombo.getSelectedId();
    infoPanel.numChannels = numSelectedChannels;

    const auto texts = diskFigureTexts (juce::File (infoPanel.path).getBytesFreeOnVolume(), infoPanel.bytesWritten,
                                        infoPanel.sampleRate, infoPanel.bits, infoPanel.numChannels);

    infoPanel.diskSpaceLabel.setText (texts.diskSpace, juce::dontSendNotification);
    infoPanel.timeRemainingLabel.setText (texts.timeRemaining, juce::dontSendNotification);
    infoPanel.spaceOccupiedLabel.setText (texts.spaceOccupied, juce::dontSendNotification);
}

MainComponent::DiskFigureTexts MainComponent::diskFigureTexts (juce::int64 freeBytes, float written, float sampleRate, int bits, int numChannels)
{
    const auto mb = [] (float bytes) { return bytes * 0.0009765625f * 0.0009765625f; };
    DiskFigureTexts texts;

    texts.diskSpace = "Disk space: " + (freeBytes != 0 ? juce::String (mb ((float) freeBytes), 2) + " Mb" : juce::String());

    const auto rate = (float) bits * sampleRate * (float) numChannels * 0.125f;
    juce::String remaining ("...");

    if (rate > 0.0f)
    {
        // The volume's free space already excludes what the take has written.
    const auto secs = (float) freeBytes / rate;

        if (secs < 60.0f)
            remaining = juce::String (secs) + " Sec";
        else if (secs < 3600.0f)
            remaining = juce::String (secs / 60.0f, 2) + " Min";
        else
            remaining = juce::String (secs / 3600.0f, 2) + " Hours";
    }

    texts.timeRemaining = "Time remaining (rec): " + remaining;
    texts.spaceOccupied = "Space occupied: " + juce::String (mb (written), 2) + " Mb";
    return texts;
}

void MainComponent::updateClock()
{
    if (isRecording)
        recordNowMs = juce::Time::getMillisecondCounter();

    elapsedSeconds = (float) ((double) (juce::uint32) (recordNowMs - recordStartMs) / 1000.0);
    elapsedText = clockText (elapsedSeconds);
    elapsedCounter.text = elapsedText;
    elapsedCounter.timeLabel.setText (elapsedText, juce::dontSendNotification);
}

juce::String MainComponent::clockText (float seconds)
{
    const auto s = (int) seconds;
    const auto tenths = (int) (seconds * 10.0f) % 10;

    return format_to (s / 3600, 2) + ":" + format_to ((s - (s / 3600) * 3600) / 60, 2) + ":"
         + format_to (s % 60, 2) + "." + format_to (tenths, 1);
}
