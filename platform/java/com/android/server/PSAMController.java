// This host's stand-in of the framework's PSAM service class: it loads the PSAM service
// library, which registers the natives below on it.
package com.android.server;

import android.psam.PSAMResult;

public class PSAMController {
    /** Loads the library; its load registers the natives (an UnsatisfiedLinkError when not). */
    public static void load() {
        System.loadLibrary("zpt-psam.default");
    }

    public native PSAMResult JNI_PSAMOpen();
    public native PSAMResult JNI_PSAMClose();
    public native PSAMResult JNI_PSAMSendCommand(byte[] command, int length);
    public native PSAMResult JNI_PSAMPowerOn();
    public native PSAMResult JNI_PSAMPowerOff();
    public native boolean JNI_PSAMGetState();
}
