// The screen half of the main component: construction, widgets, layout, the user's
// actions other than recording, and the settings file.

#include "MainComponent.h"
#include "VelmoraResources.h"

#include <iomanip>
#include <sstream>

namespace
{
    const char* const makerWebSite = "https://www.olvarin-audioware.com/";
    const char* const donatePage = "https://donate.fairtallypay.com/give?to=olvarin-audioware&for=velmora-recorder";

    juce::Image picture (const char* data, int size)
    {
        return juce::ImageCache::getFromMemory (data, size);
    }
}

//==============================================================================
Dialogs Dialogs::frameworkDialogs()
{
    Dialogs d;

    d.askYesNo = [] (const juce::String& title, const juce::String& message)
    {
        return juce::AlertWindow::showOkCancelBox (juce::AlertWindow::WarningIcon, title, message, "Yes", "No", nullptr, nullptr);
    };

    d.warnAsync = [] (const juce::String& title, const juce::String& message)
    {
        juce::AlertWindow::showMessageBoxAsync (juce::AlertWindow::WarningIcon, title, message);
    };

    d.inform = [] (const juce::String& title)
    {
        juce::AlertWindow::showMessageBox (juce::AlertWindow::InfoIcon, title, {}, {}, nullptr);
    };

    d.browseForFolder = [] (const juce::File& start, juce::File& picked)
    {
        juce::FileChooser chooser ({}, start, {}, true, true, nullptr);

        if (! chooser.browseForDirectory())
            return false;

        picked = chooser.getResult();
        return true;
    };

    return d;
}

//==============================================================================
Settings::Settings()
{
    const auto ownFolder = [] (juce::File::SpecialLocationType base)
    {
        return juce::File::getSpecialLocation (base).getChildFile ("Olvarin Audioware")
                                                    .getChildFile ("Velmora Recorder")
                                                    .getFullPathName();
    };

    appDataPath = ownFolder (juce::File::userApplicationDataDirectory);
    defaultRecordingPath = ownFolder (juce::File::userDocumentsDirectory);
    settingsFolder = juce::File (appDataPath);
    settingsFile = settingsFolder.getChildFile ("Settings.xml");
}

//==============================================================================
MainComponent::MainComponent()
{
    setAudioChannels (2, 0);
    recorderThread.startThread (juce::Thread::Priority::highest);
    startTimer (1);
    addAndMakeVisible (tooltipWindow);
    setObjects();
    fillDeviceList();
    centreWithSize (800, 550);
    loadSettings();
    SetAsioDevice (true, false);

    haltOverlay = std::make_unique<HaltOverlayClass>();
    haltOverlay->setBounds (0, 0, 800, 550);
    addChildComponent (haltOverlay.get());
}

MainComponent::~MainComponent()
{
    {
        const juce::ScopedLock sl (deviceLock);
        stopTimer();
        shuttingDown = true;
        doStop (false);
        shutdownAudio();
    }

    // Our own player stays registered with the manager after shutdownAudio; take it off
    // before it is destroyed, so the manager never holds a dangling callback.
    deviceManager.removeAudioCallback (&audioSourcePlayer);
    audioSourcePlayer.setSource (nullptr);
}

std::string MainComponent::format_to (int value, int width)
{
    std::ostringstream s;
    s << std::setw (width) << std::setfill ('0') << value;
    return s.str();
}

//==============================================================================
void MainComponent::setObjects()
{
    const auto logo = picture (BinaryData::webSiteLogo_png, BinaryData::webSiteLogo_pngSize);
    webSiteButton.setImages (false, true, true,
                             logo, 1.0f, juce::Colour (0x00000000),
                             logo, 1.0f, juce::Colour (0x00ffff00),
                             logo, 1.0f, juce::Colour (0x00ffff00), 0.0f);
    webSiteButton.setTooltip ("Go to WebSite");
    webSiteButton.setMouseCursor (juce::MouseCursor::PointingHandCursor);
    webSiteButton.onClick = [this] { webSiteButtonOnClick(); };
    mainPanel.addAndMakeVisible (webSiteButton);

    selectDeviceLabel.setFont (juce::Font (16.0f, juce::Font::bold));
    selectDeviceLabel.setText ("Select device:", juce::dontSendNotification);
    mainPanel.addAndMakeVisible (selectDeviceLabel);

    saveSettingsButton.setButtonText ("Save global settings");
    saveSettingsButton.addListener (this);
    mainPanel.addAndMakeVisible (saveSettingsButton);

    sampleRateCombo.onChange = [this] { sampleRateComboOnChange(); };
    sampleRateCombo.setEnabled (false);
    mainPanel.addAndMakeVisible (sampleRateCombo);

    bitsCombo.addItem ("16 bit", 16);
    bitsCombo.addItem ("24 bit", 24);
    bitsCombo.setSelectedId (16, juce::dontSendNotification);
    bitsCombo.setEnabled (false);
    mainPanel.addAndMakeVisible (bitsCombo);

    channelListLabel.setText ("Channel list", juce::dontSendNotification);
    mainPanel.addAndMakeVisible (channelListLabel);
    sampleRateLabel.setText ("SampleRate", juce::dontSendNotification);
    mainPanel.addAndMakeVisible (sampleRateLabel);
    resolutionLabel.setText ("Resolution", juce::dontSendNotification);
    mainPanel.addAndMakeVisible (resolutionLabel);

    mainPanel.addAndMakeVisible (deviceCombo);
    deviceCombo.onChange = [this] { deviceComboOnChange(); };

    mainViewport.setViewedComponent (&mainPanel, false);
    addAndMakeVisible (mainViewport);

    const auto donate = picture (BinaryData::donateButton_png, BinaryData::donateButton_pngSize);
    donateButton.setMouseCursor (juce::MouseCursor::PointingHandCursor);
    donateButton.setTooltip ("Click to donate");
    donateButton.setImages (false, true, true,
                            donate, 1.0f, juce::Colour (0x00000000),
                            donate, 1.0f, juce::Colour (0x4cffff00),
                            donate, 1.0f, juce::Colour (0x80ffff00), 0.0f);
    donateButton.onClick = [this] { donateButtonOnClick(); };
    mainPanel.addAndMakeVisible (donateButton);

    selectAllLabel.setColour (juce::Label::textColourId, juce::Colour (0xffffff00));
    selectAllLabel.setText ("Select all", juce::dontSendNotification);

    infoPanel.backgroundColour = juce::Colour::fromString ("ff90906a");
    mainPanel.addAndMakeVisible (infoPanel);
    elapsedCounter.backgroundColour = juce::Colour::fromString ("ff636262");
    mainPanel.addAndMakeVisible (elapsedCounter);

    recordButton.setButtonText ("Record");
    recordButton.setName ("Record");
    recordButton.setEnabled (false);
    recordButton.addListener (this);
    mainPanel.addAndMakeVisible (recordButton);

    stopButton.setButtonText ("Stop");
    stopButton.setName ("Stop");
    stopButton.setEnabled (false);
    stopButton.addListener (this);
    mainPanel.addAndMakeVisible (stopButton);

    channelStrip.fillColour = juce::Colour::fromString ("ff182947");
    channelViewport.setViewedComponent (&channelStrip, false);
    mainPanel.addAndMakeVisible (channelViewport);

    prefixEditor.setFont (juce::Font (14.0f, juce::Font::plain));
    prefixEditor.setText ("Track", true);
    prefixEditor.setInputRestrictions (20, "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_");

    prefixLabel.setMouseCursor (juce::MouseCursor::PointingHandCursor);
    prefixLabel.setTooltip ("Set recording sub-Folder");
    prefixLabel.setText ("Prefix", juce::dontSendNotification);
    prefixPanel.fillColour = juce::Colour::fromString ("ff003366");
    prefixPanel.addAndMakeVisible (prefixLabel);
    prefixPanel.addAndMakeVisible (prefixEditor);

    const juce::File defaultFolder (settings.defaultRecordingPath);

    if (! defaultFolder.exists())
        defaultFolder.createDirectory();

    folderEditor.setFont (juce::Font (12.0f, juce::Font::plain));
    folderEditor.setText (settings.defaultRecordingPath, false);
    folderEditor.setReadOnly (true);
    folderEditor.moveCaretToStartOfLine (false);

    changeFolderButton.setColour (juce::TextButton::textColourOffId, juce::Colour (0xffffff00));
    changeFolderButton.setButtonText ("Change folder");
    changeFolderButton.addListener (this);

    pathLabel.setText ("Path", juce::dontSendNotification);
    pathPanel.fillColour = juce::Colour::fromString ("ff003366");
    pathPanel.addAndMakeVisible (changeFolderButton);
    pathPanel.addAndMakeVisible (folderEditor);
    pathPanel.addAndMakeVisible (pathLabel);

    folderPanel.fillColour = juce::Colours::transparentWhite;
    folderPanel.addAndMakeVisible (prefixPanel);
    folderPanel.addAndMakeVisible (pathPanel);
    folderViewport.setViewedComponent (&folderPanel, false);
    mainPanel.addAndMakeVisible (folderViewport);
}

void MainComponent::fillDeviceList()
{
    deviceCombo.clear (juce::dontSendNotification);
    deviceTypeOfEntry.clear();
    int n = 0;

    for (auto* type : deviceManager.getAvailableDeviceTypes())
    {
        type->scanForDevices();

        // The list takes no entry without a name; the types by entry must stay in step
        // with it, or every later entry would open with another entry's type.
        for (const auto& name : type->getDeviceNames (true))
        {
            if (name.isEmpty())
                continue;

            deviceCombo.addItem (name, ++n);
            deviceTypeOfEntry.add (type->getTypeName());
        }
    }
}

//==============================================================================
void MainComponent::paint (juce::Graphics& g)
{
    g.fillAll (juce::Colours::darkgrey);
}

void MainComponent::resized()
{
    const auto W = getScreenBounds().getWidth();
    const auto H = getScreenBounds().getHeight();

    if (haltOverlay != nullptr && haltOverlay->isVisible())
    {
        haltOverlay->setBounds (haltOverlay->getX(), haltOverlay->getY(), getWidth(), getHeight());
        haltOverlay->repaint();
    }

    mainViewport.setBounds (0, 0, W, H);
    mainPanel.setBounds (0, 0, W, H);
    selectDeviceLabel.setBounds (10, 20, 100, 20);
    deviceCombo.setBounds (10, 40, 200, 20);
    sampleRateCombo.setBounds (deviceCombo.getRight() + 10, 40, 100, 20);
    sampleRateLabel.setBounds (sampleRateCombo.getX(), sampleRateCombo.getY() - 20, 100, 20);
    bitsCombo.setBounds (sampleRateCombo.getRight() + 10, sampleRateCombo.getY(), 100, 20);
    resolutionLabel.setBounds (bitsCombo.getX(), bitsCombo.getY() - 20, 100, 20);
    saveSettingsButton.setBounds (bitsCombo.getRight() + 10, bitsCombo.getY(), 150, 20);
    webSiteButton.setBounds (mainPanel.getWidth() - 70, 10, 60, 49);
    folderViewport.setBounds (deviceCombo.getX(), deviceCombo.getBottom() + 10, W - 20, 30);
    folderPanel.setBounds (0, 0, folderViewport.getWidth(), folderViewport.getHeight());
    prefixPanel.setBounds (0, 0, 200, folderViewport.getHeight());
    pathPanel.setBounds (prefixPanel.getRight() + 10, 0, folderViewport.getWidth() - 200, folderViewport.getHeight());
    prefixLabel.setBounds (0, 5, 50, 20);
    prefixEditor.setBounds (prefixLabel.getRight(), prefixLabel.getY(), 140, 20);
    folderEditor.setBounds (40, 5, 410, 20);
    pathLabel.setBounds (0, 5, 40, 20);
    changeFolderButton.setBounds (folderEditor.getRight() + 5, 5, 100, 20);
    recordButton.setBounds (folderViewport.getX(), folderViewport.getBottom() + 20, 95, 30);
    stopButton.setBounds (recordButton.getRight() + 10, recordButton.getY(), 95, 30);
    elapsedCounter.setBounds (stopButton.getRight() + 10, stopButton.getY(), 140, 30);
    layOutChannelBlock();
    donateButton.setBounds (W - 100, stopButton.getY(), 100, 20);
    infoPanel.setBounds (10, H - 60, W - 20, 50);
}

/** The channel viewport, its captions, the select-all box and the strip: laid out by
    resized and again by every device opening, with the same rules. */
void MainComponent::layOutChannelBlock()
{
    const auto W = getScreenBounds().getWidth();

    channelViewport.setBounds (10, 210, W - 20, 180);
    channelListLabel.setBounds (10, 180, 100, 30);
    selectAllLabel.setBounds (channelViewport.getWidth() - 80, channelViewport.getBottom() + 5, 60, 20);
    checkAllBox->setBounds (selectAllLabel.getRight(), selectAllLabel.getY(), 30, 20);
    channelStrip.setBounds (0, 0, juce::jmax (40 * channelBoxes.size(), channelViewport.getWidth()), 180);
}

//==============================================================================
void MainComponent::buttonClicked (juce::Button* button)
{
    if (button == &saveSettingsButton)
        saveSettings();
    else if (button == &changeFolderButton)
        changeFolder();
    else if (button == checkAllBox.get())
        selectAll();
    else if (button == &recordButton)
        record();
    else if (button == &stopButton)
        doStop (true);
}

void MainComponent::webSiteButtonOnClick()
{
    juce::URL (makerWebSite).launchInDefaultBrowser();
}

void MainComponent::donateButtonOnClick()
{
    juce::URL (donatePage).launchInDefaultBrowser();
}

//==============================================================================
void MainComponent::changeFolder()
{
    const auto text = folderEditor.getText();
    const auto start = text.isNotEmpty() ? juce::File (text)
                                         : juce::File::getSpecialLocation (juce::File::currentApplicationFile);
    juce::File picked;

    if (dialogs.browseForFolder (start, picked))
        chosenFolder = picked.getFullPathName();

    applyChosenFolder();
}

void MainComponent::applyChosenFolder()
{
    if (chosenFolder.isEmpty())
        return;

    folderEditor.setText (chosenFolder);
    currentFile = juce::File (chosenFolder);
}

//==============================================================================
void MainComponent::loadSettings()
{
    settings.values = SettingsFile::read (settings.settingsFile);

    // In file order, so that the last occurrence of a key wins.
    for (const auto& [key, value] : settings.values)
        applySetting (key, value);
}

void MainComponent::applySetting (const juce::String& key, const juce::String& value)
{
    if (key == "prefixTB")
        prefixEditor.setText (value, false);
    else if (key == "folderTB")
        folderEditor.setText (value, false);
    else if (key == "deviceAsioCombo")
        deviceCombo.setSelectedId (SettingsFile::truncatedNumber (value), juce::dontSendNotification);
    else if (key == "SRcombo")
    {
        const auto rate = SettingsFile::leadingInteger (value);
        sampleRateCombo.setSelectedId (rate != 0 ? rate : 44100, juce::dontSendNotification);
    }
    else if (key == "bitsCombo")
        bitsCombo.setSelectedId (SettingsFile::truncatedNumber (value), juce::dontSendNotification);
}

void MainComponent::saveSettings()
{
    settingsList.emplace_back ("prefixTB", prefixEditor.getText());
    settingsList.emplace_back ("folderTB", folderEditor.getText());
    settingsList.emplace_back ("deviceAsioCombo", juce::String (deviceCombo.getSelectedId()));
    settingsList.emplace_back ("SRcombo", juce::String (sampleRateCombo.getSelectedId()));
    settingsList.emplace_back ("bitsCombo", juce::String (bitsCombo.getSelectedId()));
    settings.values = settingsList;

    // A file that could not be written is not reported as saved.
    if (writeSettingsFile())
        dialogs.inform ("Settings saved.");
    else
        dialogs.warnAsync ("Error", "Unable to write on disk.");
}

/** Writes every pair kept since start. The framework writes a temporary file and moves it
    over the old one, so a failed save leaves the old file as it was. */
bool MainComponent::writeSettingsFile()
{
    if (! settings.settingsFile.exists())
        settings.settingsFile.create();

    juce::XmlElement root ("vrSettings");

    for (size_t i = 0; i < settings.values.size(); ++i)
    {
        auto* setting = root.createNewChildElement ("SETTING");
        setting->setAttribute ("ID", (int) i);
        setting->setAttribute ("Obj", settings.values[i].first);
        setting->setAttribute ("Value", settings.values[i].second);
    }

    return root.writeTo (settings.settingsFile);
}

//==============================================================================
MainComponent::HaltOverlayClass::HaltOverlayClass()
{
    juce::MouseCursor::showWaitCursor();
}

MainComponent::HaltOverlayClass::~HaltOverlayClass() = default;

void MainComponent::HaltOverlayClass::paint (juce::Graphics& g)
{
    const auto w = getWidth();
    const auto h = getHeight();

    g.fillAll (juce::Colour (0x7f000000));
    g.setColour (juce::Colours::darkgrey);
    g.fillRoundedRectangle ((float) (w / 4), (float) (h / 4), (float) (w / 2), (float) (h / 2), 10.0f);
    g.setColour (juce::Colours::white);
    g.setFont (22.0f);
    g.drawFittedText ("Please wait...\nFinalizing recording files.", getBounds(), juce::Justification::centred, 5);
}
