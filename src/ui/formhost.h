#pragma once

namespace velmor {

class frmcatalogo;

// What the child forms ask of the window that holds them: the main window
// implements it and owns the one instance of each form.
class FormHost {
public:
    virtual ~FormHost() = default;
    // Shows the query form (loading it if it is closed) and activates it.
    virtual void showConsultas() = 0;
    // The catalogue form, loaded (and shown) first if it is closed; nullptr when
    // it could not load.
    virtual frmcatalogo* catalogoCargado() = 0;
};

}
