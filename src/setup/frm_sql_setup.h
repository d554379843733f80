#pragma once

#include <QWidget>

class TMovSingleInstance;

// The connection setup window, the program's main window.
class TFrmSQLSetup : public QWidget {
    Q_OBJECT
public:
    explicit TFrmSQLSetup(QWidget *parent = nullptr);
    ~TFrmSQLSetup() override;

    TMovSingleInstance *MovSingleInstance1 = nullptr;

private:
    void createComponents();
};
