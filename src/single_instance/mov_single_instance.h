#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

namespace movan {

class InstanceLock;
class InstanceSemaphore;

enum TMovTerminateMethod {
    atmAppTerminate,
    atmCloseMainForm,
    atmExitProcess,
    atmHalt,
    atmTerminateProcess,
};

// Keeps a second copy of the program (same application title, same user)
// from running: placed on the main window, it acts once the window's
// components have their properties, before anything is shown, and then
// either gives way to the copy already running or lets this one run.
class TMovSingleInstance : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool MultipleInstances READ MultipleInstances WRITE setMultipleInstances)
    Q_PROPERTY(int TerminateBy READ TerminateBy WRITE setTerminateByValue)
public:
    // Sender, number of other copies, and whether this copy shall give way.
    using OtherInstancesHandler = std::function<void(QObject *sender, int otherInstances, bool &terminate)>;

    explicit TMovSingleInstance(QObject *owner = nullptr);
    ~TMovSingleInstance() override;

    // Properties are set between these two; the guard acts in endLoading().
    void beginLoading() { m_loading = true; }
    void endLoading();
    bool isLoading() const { return m_loading; }

    QString WarningText() const { return m_warningText; }
    void setWarningText(const QString &text) { m_warningText = text; }
    bool ActivatePrevious() const { return m_activatePrevious; }
    void setActivatePrevious(bool on) { m_activatePrevious = on; }
    bool ClosePrevious() const { return m_closePrevious; }
    void setClosePrevious(bool on) { m_closePrevious = on; }
    bool MultipleInstances() const { return m_multipleInstances; }
    void setMultipleInstances(bool on);
    TMovTerminateMethod TerminateBy() const { return m_terminateBy; }
    void setTerminateBy(TMovTerminateMethod method) { m_terminateBy = method; }

    OtherInstancesHandler OnOtherInstances;

    // Whether this copy holds the instance mutex, that is, runs first.
    bool ownsInstance() const { return m_instanceMutex != nullptr; }
    // Copies holding a unit of the semaphore, this one included; 1 without one.
    int countInstances() const;

private:
    void setTerminateByValue(int method) { m_terminateBy = TMovTerminateMethod(method); }
    void loaded();
    void giveWay();
    void terminateThisCopy();
    void takeOverWhenPreviousEnds();

    std::shared_ptr<InstanceLock> m_instanceMutex;
    std::unique_ptr<InstanceSemaphore> m_instanceSemaphore;
    QString m_warningText;
    bool m_activatePrevious = true;
    bool m_closePrevious = false;
    bool m_multipleInstances = false;
    TMovTerminateMethod m_terminateBy = atmAppTerminate;
    bool m_loading = false;
};

} // namespace movan
