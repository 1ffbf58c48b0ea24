// The application shell: the application object, the main window and the process entry.

// The window's size hints are set on the framework's own display connection.
#define JUCE_GUI_BASICS_INCLUDE_XHEADERS 1

#include "VelmoraResources.h"
#include "MainComponent.h"

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <utility>
#include <pthread.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace
{
    //==============================================================================
    /** On Linux a session logout, a service manager or Ctrl-C asks a program to quit with
        SIGTERM or SIGINT. They are blocked in every thread from the start of the process
        and picked up by one thread that hands them to the message thread as a platform
        quit, so that a take in progress is finalised before the process ends. */
    sigset_t quitSignals()
    {
        sigset_t set;
        sigemptyset (&set);
        sigaddset (&set, SIGTERM);
        sigaddset (&set, SIGINT);
        return set;
    }

    // Runs before main, so every thread the process ever starts inherits the mask.
    const bool quitSignalsBlocked = []
    {
        const auto set = quitSignals();
        return pthread_sigmask (SIG_BLOCK, &set, nullptr) == 0;
    }();

    // Child processes inherit the mask too: the folder chooser's helper and the browser
    // would then ignore SIGTERM and Ctrl-C. The framework starts them with fork, after
    // which this runs in the child.
    void unblockQuitSignalsInChild()
    {
        const auto set = quitSignals();
        pthread_sigmask (SIG_UNBLOCK, &set, nullptr);
    }

    [[maybe_unused]] const bool childrenGetQuitSignals = pthread_atfork (nullptr, nullptr, unblockQuitSignalsInChild) == 0;

    class QuitSignalListener : private juce::Thread
    {
    public:
        QuitSignalListener() : juce::Thread ("Quit signals")
        {
            if (quitSignalsBlocked)
                startThread();
        }

        ~QuitSignalListener() override
        {
            signalThreadShouldExit();

            // Wakes the sigwait, which then sees that the thread should exit.
            if (isThreadRunning())
                pthread_kill ((pthread_t) getThreadId(), SIGTERM);

            stopThread (2000);
        }

    private:
        void run() override
        {
            const auto set = quitSignals();

            while (! threadShouldExit())
            {
                int received = 0;

                if (sigwait (&set, &received) != 0 || threadShouldExit())
                    return;

                juce::MessageManager::callAsync ([]
                {
                    if (auto* app = juce::JUCEApplicationBase::getInstance())
                        app->systemRequestedQuit();
                });
            }
        }
    };
}

namespace
{
    //==============================================================================
    /** When the connection to the X server breaks (the server is killed, the session
        ends), Xlib calls its I/O error handler and then ends the process at once, with no
        shut-down of ours: the writers' buffers, up to five seconds of audio, would be lost
        and the headers left behind. Our handler, installed over the framework's, first
        completes the take's files, then lets the framework's handler and Xlib go on. */
    MainComponent* componentOfLostDisplay = nullptr;
    XIOErrorHandler frameworkDisplayErrorHandler = nullptr;

    int displayLost (Display* display)
    {
        if (componentOfLostDisplay != nullptr)
            componentOfLostDisplay->endTakeBeforeExit();

        return frameworkDisplayErrorHandler != nullptr ? frameworkDisplayErrorHandler (display) : 0;
    }

    /** Without a display the framework goes on with no window, or crashes; the user is
        told instead, before any device is opened. */
    bool displayCanBeOpened()
    {
        auto* display = XOpenDisplay (nullptr);

        if (display == nullptr)
            return false;

        XCloseDisplay (display);
        return true;
    }
}

//==============================================================================
class VelmoraRecorderApplication : public juce::JUCEApplication
{
public:
    VelmoraRecorderApplication() = default;

    ~VelmoraRecorderApplication() override
    {
        mainWindow = nullptr;
    }

    const juce::String getApplicationName() override       { return "Velmora Recorder"; }
    const juce::String getApplicationVersion() override    { return "1.0"; }
    bool moreThanOneInstanceAllowed() override             { return false; }

    void initialise (const juce::String&) override
    {
        if (! displayCanBeOpened())
        {
            const auto* name = std::getenv ("DISPLAY");
            std::fprintf (stderr, "Velmora Recorder: no display could be opened (%s%s)\n",
                          name != nullptr ? "DISPLAY=" : "DISPLAY is not set", name != nullptr ? name : "");
            setApplicationReturnValue (1);
            quit();
            return;
        }

        lookAndFeel.setDefaultSansSerifTypeface (juce::Typeface::createSystemTypefaceFor (BinaryData::DejaVuSans_ttf,
                                                                                          BinaryData::DejaVuSans_ttfSize));
        juce::LookAndFeel::setDefaultLookAndFeel (&lookAndFeel);
        mainWindow = std::make_unique<MainWindow> (getApplicationName());
        quitSignalListener = std::make_unique<QuitSignalListener>();

        // The window is on the screen, so the framework has opened its display and set
        // its own handler, which ours calls in turn.
        componentOfLostDisplay = &mainWindow->getMainComponent();
        frameworkDisplayErrorHandler = XSetIOErrorHandler (displayLost);
    }

    void shutdown() override
    {
        quitSignalListener = nullptr;

        // From here on the component goes the usual way.
        XSetIOErrorHandler (frameworkDisplayErrorHandler);
        componentOfLostDisplay = nullptr;
        mainWindow = nullptr;
    }

    void anotherInstanceStarted (const juce::String&) override {}

    void systemRequestedQuit() override
    {
        quit();
    }

    //==============================================================================
    class MainWindow : public juce::DocumentWindow
    {
    public:
        explicit MainWindow (const juce::String& name)
            : juce::DocumentWindow (name,
                                    juce::Desktop::getInstance().getDefaultLookAndFeel()
                                        .findColour (juce::ResizableWindow::backgroundColourId),
                                    juce::DocumentWindow::allButtons)
        {
            setUsingNativeTitleBar (false);

            // The member owns the component; the window only shows it.
            mainComponent = std::make_unique<MainComponent>();
            setContentNonOwned (mainComponent.get(), true);

            setName (juce::String ("Velmora Recorder") + " " + "1.0" + " (" + "Olvarin Audioware" + ")");
            setResizable (true, true);
            centreWithSize (getWidth(), getHeight());
            setResizeLimits (800, 550, 4000, 4000);
            setVisible (true);
            toFront (true);
            hintSizeLimits();
        }

        // The framework's every change of the window's bounds replaces the window manager's
        // size hints with the position and size alone, dropping the limits.
        void moved() override
        {
            juce::DocumentWindow::moved();
            hintSizeLimits();
        }

        void resized() override
        {
            juce::DocumentWindow::resized();
            hintSizeLimits();
        }

        // As it first paints the window, the framework writes the hints once more, with
        // bounds that did not change, so neither of the two above hears of it.
        void paint (juce::Graphics& g) override
        {
            juce::DocumentWindow::paint (g);

            if (std::exchange (firstPaint, false))
                juce::MessageManager::callAsync ([window = juce::Component::SafePointer<MainWindow> (this)]
                {
                    if (window != nullptr)
                        window->hintSizeLimits();
                });
        }

        ~MainWindow() override
        {
            clearContentComponent();
            mainComponent = nullptr;
        }

        MainComponent& getMainComponent()   { return *mainComponent; }

        void closeButtonPressed() override
        {
            if (! mainComponent->isRecording)
            {
                juce::JUCEApplication::getInstance()->systemRequestedQuit();
                return;
            }

            juce::AlertWindow::showMessageBoxAsync (juce::AlertWindow::WarningIcon, "Warning",
                                                    "Stop recording to close application.", {}, nullptr, nullptr);
        }

    private:
        /** Puts the size limits back into the window's size hints, beside the position and
            size that the framework wrote, so that a window manager keeps to them. */
        void hintSizeLimits()
        {
            auto* peer = getPeer();
            auto* system = juce::XWindowSystem::getInstanceWithoutCreating();
            auto* limits = getConstrainer();

            if (peer == nullptr || system == nullptr || system->getDisplay() == nullptr || limits == nullptr)
                return;

            const auto window = (::Window) (juce::pointer_sized_uint) peer->getNativeHandle();
            const auto factor = peer->getPlatformScaleFactor();
            const auto frame = peer->getFrameSizeIfPresent();
            const auto border = frame ? *frame : juce::BorderSize<int>();
            auto* display = system->getDisplay();

            juce::XWindowSystemUtilities::ScopedXLock xLock;
            XSizeHints hints {};
            long supplied = 0;

            if (XGetWMNormalHints (display, window, &hints, &supplied) == 0)
                hints = {};

            hints.flags |= PMinSize | PMaxSize;
            hints.min_width  = juce::jmax (1, (int) (factor * limits->getMinimumWidth())  - border.getLeftAndRight());
            hints.max_width  = juce::jmax (1, (int) (factor * limits->getMaximumWidth())  - border.getLeftAndRight());
            hints.min_height = juce::jmax (1, (int) (factor * limits->getMinimumHeight()) - border.getTopAndBottom());
            hints.max_height = juce::jmax (1, (int) (factor * limits->getMaximumHeight()) - border.getTopAndBottom());
            XSetWMNormalHints (display, window, &hints);
        }

        std::unique_ptr<MainComponent> mainComponent;
        bool firstPaint = true;

        JUCE_DECLARE_NON_COPYABLE_WITH_LEAK_DETECTOR (MainWindow)
    };

private:
    juce::LookAndFeel_V4 lookAndFeel;
    std::unique_ptr<MainWindow> mainWindow;
    std::unique_ptr<QuitSignalListener> quitSignalListener;
};

START_JUCE_APPLICATION (VelmoraRecorderApplication)
