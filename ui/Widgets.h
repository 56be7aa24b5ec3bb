#pragma once
// Small widget kinds of the main window's form.
#include <QComboBox>
#include <QLabel>
#include <QMouseEvent>

// A label that takes its own left clicks (so it never drags the window).
class TClickLabel : public QLabel {
    Q_OBJECT

public:
    using QLabel::QLabel;

signals:
    void Click();

protected:
    void mousePressEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton)
            e->accept();
        else
            QLabel::mousePressEvent(e);
    }
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (e->button() == Qt::LeftButton && rect().contains(e->position().toPoint())) {
            e->accept();
            emit Click();
        } else {
            QLabel::mouseReleaseEvent(e);
        }
    }
};

// A pick-only drop-down list that reports when its list opens and closes. F4 stays the Stop
// key: the list opens with the mouse or Alt+Down.
class TDropDownList : public QComboBox {
    Q_OBJECT

public:
    using QComboBox::QComboBox;
    void showPopup() override {
        emit DropDown();
        QComboBox::showPopup();
    }
    void hidePopup() override {
        QComboBox::hidePopup();
        emit CloseUp();
    }

signals:
    void DropDown();
    void CloseUp();

protected:
    void keyPressEvent(QKeyEvent* e) override {
        if (e->key() == Qt::Key_F4 && e->modifiers() == Qt::NoModifier) {
            e->ignore();
            return;
        }
        QComboBox::keyPressEvent(e);
    }
};
