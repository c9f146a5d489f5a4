# ~/.profile: executed by the command interpreter for login shells.
