// This host's stand-in of the framework's RFID service class: it loads the RFID service
// library, which registers the natives below on it.
package com.android.server;

public class RFIDController {
    /** Loads the library; its load registers the natives (an UnsatisfiedLinkError when not). */
    public static void load() {
        System.loadLibrary("zpt-rfid.default");
    }

    public native boolean JNI_RFIDPowerOn();
    public native boolean JNI_RFIDPowerOff();
}
